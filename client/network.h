// The client's side of the connection: opening it with the handshake, the
// once-per-frame dispatcher that applies the whole server messages that have
// arrived, the CONTROLS sender, and the round-trip measurement. Runs in the thread
// that runs the client (the game's main thread, or one bot of vexil-bots);
// every piece of per-connection state is thread_local.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "shared/world.h"

// Tick count (KELGETTICKS) when the CONTROLS of the last measured cycle left,
// and when the UPDATE answering it arrived. Read-out line 8 shows the
// difference.
extern CLIENTTHREADLOCAL double CLIENTROUNDTRIPTIME1;
extern CLIENTTHREADLOCAL double CLIENTROUNDTRIPTIME2;

// 1 once a CONTROLS has been sent on the current connection. Only the first
// FULLSTATE is answered, so exactly one exchange cycle runs.
extern CLIENTTHREADLOCAL int32_t CLIENTCONTROLSSENT;

// 1 (the game): a failed start or a lost connection sets QUITLOOP, which
// ends the client loop and, when hosting, the server. A bot sets it to 0
// for its own thread, so the end of its connection ends only that bot (it
// watches CLIENTCONNECTED()), and a failed start of a bot does not wait for
// a console key.
extern CLIENTTHREADLOCAL int32_t CLIENTQUITSONLOSS;
// Set by a start whose host is empty or cannot be resolved: the game then
// ends right after its message, without a frame.
extern CLIENTTHREADLOCAL int32_t CLIENTNOHOST;

// Longest wait for the server's answer to the code, in milliseconds, for a
// start that has no CLIENTWAITINGFRAME (a bot).
constexpr uint32_t CLIENTHANDSHAKELIMITMS = 5000;
// While the server has not answered the code (all sixteen slots are taken
// and the player waits for one to free), a start with this set calls it
// about once a frame instead of giving up: the game draws its waiting
// screen and reads the leave keys there. A QUITLOOP set meanwhile ends the
// wait: the connection is closed and nothing is reported.
extern CLIENTTHREADLOCAL void (*CLIENTWAITINGFRAME)();
// What one frame's dispatcher takes at most: the receives from the kernel
// (64 KiB each, so 30 MiB a second at the game's frame rate, more than a
// server sends) and the messages applied. A flood cannot hold a frame.
constexpr int32_t CLIENTRECEIVESPERFRAME = 16;
constexpr int32_t CLIENTMESSAGESPERFRAME = 4096;
// Whole messages applied on this thread's connections, by kind (0 to 8;
// entry 9 counts every other kind). Bots and benchmarks read it.
extern CLIENTTHREADLOCAL std::array<uint64_t, 10> CLIENTAPPLIED;
// A message still incomplete after this long counts as a lost connection.
constexpr uint32_t CLIENTPARTIALLIMITMS = 3000;

// When set, called with each whole message (kind first) right before the
// dispatcher applies it: a recording keeps the bytes. Per thread.
extern CLIENTTHREADLOCAL void (*CLIENTMESSAGETAP)(const uint8_t* bytes, size_t length);

// Connects to VX_HOSTNAME on GAMEPORT, sends the code, reads the slot and
// sends VX_PLAYERNAME. Every failure (network library, unknown host,
// connection not opened, refused code, no or bad answer) prints one line on
// standard error, sets KELEXITSTATUS to 1 and QUITLOOP, and leaves no
// connection behind.
void CLIENTSTARTNETWORK();
// True while this client holds a connection to a server.
bool CLIENTCONNECTED();
// Applies, in order, the whole server messages that have arrived, within
// the frame's limits above; never waits for bytes that have not arrived.
// The frame's controls answer one UPDATE at most: an UPDATE that follows an
// UPDATE or a FULLSTATE applied in the same call waits for the next frame,
// so every CONTROLS carries what that frame's controls set, as when one
// message was applied per frame. A closed connection, or one broken by the
// server, sets QUITLOOP.
void CLIENTNETGETDATAPACKET();
// Queues a message: 2 CONTROLS from the own ship, 0 GOODBYE; others nothing.
void CLIENTNETSENDDATAPACKET(int32_t& X);
// Queues READY, once, right after the network start (nothing without a
// connection).
void CLIENTSENDREADY();
// Queues a CHAT with the text (nothing without a connection).
void CLIENTSENDCHAT(const std::string& text);
// Hands everything queued to the kernel without blocking.
void CLIENTNETFLUSH();
// Closes the connection and forgets the per-connection state (tests, and
// the failure paths).
void CLIENTNETCLOSE();
