// The recording file format (docs/recording.md): the plain header, the
// records of the compressed stream (start state, frames, end marker), the
// message transform that makes them small, the world check value, and the
// reader that inflates a file record by record with a cap on every length.
// Threads: no state of its own beyond what the caller passes in; the capture
// and apply functions touch the calling thread's client state.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <SDL.h>

// zlib's stream record, kept out of this header (zlib's own header defines
// macros such as FAR that clash with ordinary names).
struct z_stream_s;

constexpr uint8_t DEMOMAGIC[8] = {'V', 'X', 'D', 'E', 'M', 'O', '\r', '\n'};
constexpr uint16_t DEMOFORMAT = 2;
// Caps every reader applies (a writer never comes near them).
constexpr size_t DEMOMAXFILE = size_t{1} << 30;       // whole file
constexpr uint64_t DEMOMAXINFLATED = uint64_t{2} << 30;  // the stream inflated
constexpr size_t DEMOMAXRECORD = size_t{4} << 20;     // one record's body
constexpr uint32_t DEMOMAXCOUNT = 1u << 16;           // ticks, polls or messages per phase/frame
constexpr uint32_t DEMOMAXSTRING = 1u << 16;          // a string in the start state
constexpr size_t DEMOMAXNAME = 1024;                  // header strings are cut to this

enum DEMORECORDKIND : uint8_t { DEMOSTARTRECORD = 1, DEMOFRAMERECORD = 2, DEMOENDRECORD = 3, DEMOCHECKRECORD = 4 };
// A check record (written with every complete block, about once a second,
// and before the end marker) holds DEMORECORDSCRC of the records since the
// previous one, so damaged bytes are found where they are.
uint32_t DEMORECORDSCRC(uint32_t crc, uint8_t kind, const uint8_t* body, size_t size);
// The three phases of a client frame whose reads are kept apart, so that a
// replay can skip the drawing and still hand the flip its own values.
enum DEMOPHASEKIND { DEMOUPDATE = 0, DEMODRAW = 1, DEMOFLIP = 2 };
// Frame flags.
constexpr uint8_t DEMOFLAGLOST = 1;   // the connection ended in this frame without a message
constexpr uint8_t DEMOFLAGMOUSE = 2;  // the flip sampled the mouse
constexpr uint8_t DEMOFLAGSTEER = 4;  // the own ship's controls were set by a program (a bot), not by keys

struct DEMOHEADER {
    std::string GAMEVERSION;
    std::string PLAYERNAME;
    std::string SERVER;
    int64_t DATE = 0;  // seconds since 1970, UTC
    int32_t SLOT = 0;
    int32_t WIDTH = 0;
    int32_t HEIGHT = 0;
};

// One poll of the event queue as the game's input reads it: TYPE is SDL's
// event type, 0 for a poll that found nothing; A..D the fields that type uses.
struct DEMOEVENT {
    uint8_t TYPE = 0;
    int32_t A = 0, B = 0, C = 0, D = 0;
};
struct DEMOPHASE {
    std::vector<uint32_t> TICKS;
    std::vector<DEMOEVENT> POLLS;
};
struct DEMOFRAME {
    uint8_t FLAGS = 0;
    std::array<DEMOPHASE, 3> PHASES;
    int32_t MOUSEX = 0, MOUSEY = 0, MOUSEBUTTONS = 0;
    // The steered controls (with DEMOFLAGSTEER).
    int32_t ACCELERATION = 0, SHOOTING = 0, SHIPFRAME = 0, DIRECTION = 0;
    double DELTATHETA = 0;
    std::vector<uint8_t> MESSAGEBYTES;   // the applied messages, back to back
    std::vector<uint32_t> MESSAGELENGTHS;
    uint32_t CHECK = 0;
};
// Empties a frame record for reuse (its buffers keep their room).
void DEMOCLEARFRAME(DEMOFRAME& frame);

// Everything the first frame depends on that happened before it.
struct DEMOSTART {
    int32_t SLOT = 0;
    uint32_t RANDOMSTATE = 1;  // the generator state the arena was placed from
    uint32_t TICKBASE = 0;     // tick deltas start from here
    int32_t OLDTIMER = 0, OLDERTIMER = 0, FRAMEPERIOD = 0, MEASUREDPERIOD = 0;
    double MEASUREDRATE = 0;
    int32_t MOUSEX = 0, MOUSEY = 0, MOUSEBUTTONS = 0;
    std::vector<int32_t> HELDKEYS;  // codes whose KEYS entry is non-zero, with the value
    std::vector<int32_t> HELDVALUES;
    std::string CHATMESSAGE, OLDVALUE, ALMOSTPRESSED, NOTRELEASEDSTRING;
    int32_t CHATACTIVE = 0, OLDVALUEISCHAT = 0, LASTKEY = 0, LASTTIME = 0, NOTRELEASED = 0, BUTTONARMED = 0;
    double ROUNDTRIP1 = 0, ROUNDTRIP2 = 0;
    std::array<double, 4> CLOCKS{};  // the prediction's two clock pairs
    std::vector<uint8_t> WORLD;  // ships, projectiles and chat lines as DEMOWORLDBYTES writes them
};

// Running state of the frame transform (tick deltas, message XOR, the
// UPDATE predictor); the writer and the reader each keep one, set up from
// the start record by DEMOCODECBEGIN.
struct DEMOCODEC {
    uint32_t LASTTICK = 0;
    int32_t SLOT = -1;  // the own slot, which fixes an UPDATE's layout
    std::array<std::vector<uint8_t>, 10> LASTMESSAGE;
    std::vector<uint16_t> LASTSTEPS;  // writer: the physics steps of the last predicted interval
    std::vector<uint16_t> STEPS;      // both: the steps the last stored UPDATE's guess named
};
void DEMOCODECBEGIN(DEMOCODEC& codec, const DEMOSTART& start);

// An SDL event as the game's input reads it (false for a type it ignores),
// and back.
bool DEMOEVENTFROM(const SDL_Event& event, DEMOEVENT& e);
void DEMOEVENTTO(const DEMOEVENT& e, SDL_Event& event);

// Header bytes / parse. The parse names the first fault in ERROR.
std::vector<uint8_t> DEMOHEADERBYTES(const DEMOHEADER& header);
bool DEMOPARSEHEADER(const uint8_t* bytes, size_t size, DEMOHEADER& header, size_t& used, std::string& error);

void DEMOENCODESTART(const DEMOSTART& start, std::vector<uint8_t>& out);
bool DEMODECODESTART(const uint8_t* bytes, size_t size, DEMOSTART& start);
void DEMOENCODEFRAME(DEMOCODEC& codec, const DEMOFRAME& frame, std::vector<uint8_t>& out);
bool DEMODECODEFRAME(DEMOCODEC& codec, const uint8_t* bytes, size_t size, DEMOFRAME& frame);
// A record of the stream: kind, length, body.
void DEMOAPPENDRECORD(std::vector<uint8_t>& out, uint8_t kind, const std::vector<uint8_t>& body);

// The calling thread's client world (every game field of the ships, the
// projectiles, the chat lines) as bytes, and its check value: CRC-32 of
// those bytes and KELFRAMEPERIOD.
void DEMOWORLDBYTES(std::vector<uint8_t>& out);
uint32_t DEMOWORLDCHECK();
// Captures / restores the calling thread's client state (DEMOSTART).
void DEMOCAPTURESTART(DEMOSTART& start, uint32_t randomstate);
bool DEMOAPPLYSTART(const DEMOSTART& start);

// Reads a file record by record. Open reads the whole file (at most
// DEMOMAXFILE) and its header; NEXT inflates the next record.
enum DEMOREAD { DEMORECORD, DEMOEND, DEMOCUT, DEMOBAD };
struct DEMOREADER;
void DEMOCLOSE(DEMOREADER& reader);
struct DEMOREADER {
    DEMOREADER() = default;
    DEMOREADER(const DEMOREADER&) = delete;
    DEMOREADER& operator=(const DEMOREADER&) = delete;
    ~DEMOREADER() { DEMOCLOSE(*this); }
    std::vector<uint8_t> FILE;
    size_t STREAMSTART = 0;
    z_stream_s* ZS = nullptr;  // owned: made by DEMOREWIND, freed by DEMOCLOSE
    bool ZOPEN = false;
    bool ZDONE = false;
    std::vector<uint8_t> OUT;  // inflated, not yet taken
    size_t OUTPOS = 0;
    std::string FAULT;  // where inflating stopped on bad data; said once the bytes before it are used up
    std::string ERROR;
};
// False with ERROR set when the file cannot be read or its header is bad
// (a format version other than DEMOFORMAT says which it is).
bool DEMOOPEN(DEMOREADER& reader, const std::string& path, DEMOHEADER& header);
bool DEMOOPENBYTES(DEMOREADER& reader, std::vector<uint8_t> bytes, DEMOHEADER& header);
// Back to the first record.
void DEMOREWIND(DEMOREADER& reader);
DEMOREAD DEMONEXT(DEMOREADER& reader, uint8_t& kind, std::vector<uint8_t>& body);
