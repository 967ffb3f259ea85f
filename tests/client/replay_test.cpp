// Recordings: the header layout, a scripted game recorded and replayed
// exactly, a changed message caught at its frame, cut and
// hostile files, the folder's rotation and a failing disk.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include <zlib.h>

#include "client/client.h"
#include "client/demofile.h"
#include "client/demopredict.h"
#include "client/network.h"
#include "client/recorder.h"
#include "client/replay.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/input.h"
#include "shared/memnet.h"
#include "shared/net.h"
#include "shared/physics.h"
#include "shared/protocol.h"
#include "tests/support/screen.h"
#include "tests/support/script.h"

namespace {
std::vector<uint8_t> READALL(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A game of FRAMES frames in slot 2 against a scripted server, recorded
// into demos/: ships that move, shots, chat, names, kills, held keys.
std::string RECORDGAME(int frames) {
    STARTGAMEVIDEO();
    FAKESERVER s;
    EXPECT_TRUE(MEMORYJOIN(s, 2));
    USEFAKECLOCK(5000);
    KELMULTIKEY(0), KELRESETKEYS();
    CLIENTSETCHATROW(800, 600);
    EXPECT_TRUE(RECORDERSTART("demos", "test.server", 1, VX_PLAYERNAME));
    SHIPTABLE ships{};
    ships[0].CONNECTED = ships[2].CONNECTED = ships[5].CONNECTED = 1, ships[5].PLAYERNAME = "Eve";
    PROTOWRITEFULLSTATE(s.CONN, ships);
    for (int f = 0; f < frames; ++f) {
        ships[0].X += 3.25, ships[5].Y -= 1.5, ships[5].SUBDIRECTION = f * 0.7;
        PROTOWRITEUPDATE(s.CONN, ships, 2);
        if (f % 17 == 3) PROTOWRITESHOTFIRED(s.CONN, f, BULLETTYPE{.X = 1, .Y = 2, .SPEED = 600, .DIRECTION = 9, .SPRITE = 1});
        if (f % 29 == 5) PROTOWRITECHAT(s.CONN, std::string("\xfe\xfe\xfe") + "Eve: hi " + std::to_string(f));
        if (f == 40) PROTOWRITENAMEINFO(s.CONN, 0, "Bob"), PROTOWRITEKILLCOUNT(s.CONN, 5, 3);
        if (f % 20 == 2) PUSHKEY(f % 40 == 2 ? SDLK_UP : SDLK_LEFT, true);
        if (f % 20 == 12) PUSHKEY(f % 40 == 12 ? SDLK_UP : SDLK_LEFT, false);
        SAY(s);
        CLIENTFRAME();
    }
    RECORDERSTOP();
    KELUSEREALCLOCK();
    return RECORDERPATH();
}

// The file's records again after EDIT changed its frames (index from 0).
std::vector<uint8_t> REWRITE(const std::string& path, const std::function<void(size_t, DEMOFRAME&)>& edit) {
    DEMOREADER reader;
    DEMOHEADER header;
    EXPECT_TRUE(DEMOOPEN(reader, path, header));
    std::vector<uint8_t> stream, body;
    DEMOCODEC in, out;
    DEMOSTART start;
    DEMOFRAME frame;
    uint8_t kind = 0;
    size_t index = 0;
    uint32_t crc = 0;
    for (DEMOREAD got; (got = DEMONEXT(reader, kind, body)) == DEMORECORD || got == DEMOEND;) {
        if (kind == DEMOSTARTRECORD) DEMODECODESTART(body.data(), body.size(), start), DEMOCODECBEGIN(in, start), DEMOCODECBEGIN(out, start);
        if (kind == DEMOFRAMERECORD) {
            EXPECT_TRUE(DEMODECODEFRAME(in, body.data(), body.size(), frame));
            edit(index++, frame);
            body.clear(), DEMOENCODEFRAME(out, frame, body);
        }
        if (kind == DEMOCHECKRECORD) continue;  // one new check record before the end
        if (kind == DEMOENDRECORD) {
            const std::vector<uint8_t> check{uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)};
            DEMOAPPENDRECORD(stream, DEMOCHECKRECORD, check);
        }
        DEMOAPPENDRECORD(stream, kind, body);
        crc = DEMORECORDSCRC(crc, kind, body.data(), body.size());
    }
    std::vector<uint8_t> file(reader.FILE.begin(), reader.FILE.begin() + static_cast<std::ptrdiff_t>(reader.STREAMSTART));
    uLongf size = compressBound(stream.size());
    file.resize(file.size() + size);
    compress2(file.data() + reader.STREAMSTART, &size, stream.data(), stream.size(), 9);
    file.resize(reader.STREAMSTART + size);
    return file;
}

// Steps to the end; how many frames matched.
int64_t PLAYOUT(bool draw) {
    while (REPLAYSTEP(draw)) {}
    return REPLAYFRAMEINDEX();
}
}  // namespace

TEST(Recording, HeaderLayoutAndForeignFormats) {
    const DEMOHEADER header{"1.0.0", "Ann", "h.x", 0x0102030405060708, 2, 800, 600};
    const std::vector<uint8_t> golden{
        'V', 'X', 'D', 'E', 'M', 'O', '\r', '\n', 0x02, 0x00, 0x1F, 0x00,   // magic, format 2, body 31 bytes
        0x05, '1', '.', '0', '.', '0', 0x03, 0x00, 'A', 'n', 'n', 0x03, 'h', '.', 'x',
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x02, 0x00, 0x00, 0x00, 0x20, 0x03, 0x58, 0x02};
    EXPECT_EQ(DEMOHEADERBYTES(header), golden);
    std::vector<uint8_t> other = golden;
    other[8] = 1;  // the format before UPDATEs were predicted
    EXPECT_FALSE(REPLAYOPENBYTES(other));
    EXPECT_EQ(REPLAYMESSAGE(), "a recording of format version 1; this game reads format version 2");
    other.assign(golden.begin(), golden.end() - 1);  // header cut short
    EXPECT_FALSE(REPLAYOPENBYTES(other));
    EXPECT_FALSE(REPLAYOPENBYTES(std::vector<uint8_t>(golden.begin(), golden.begin() + 9)));
    EXPECT_EQ(REPLAYMESSAGE(), "not a Vexil! recording");
    REPLAYCLOSE();
}

// Every frame's check value matches (the golden recordings replay real
// games, with jumps); one changed bit of one message stops the replay at
// its frame.
TEST(Recording, AScriptedGameReplaysExactlyAndAChangedMessageStopsAtItsFrame) {
    const std::string path = RECORDGAME(120);
    ASSERT_TRUE(REPLAYOPEN(path)) << REPLAYMESSAGE();
    EXPECT_EQ(REPLAYHEADER().PLAYERNAME, VX_PLAYERNAME);
    EXPECT_EQ(REPLAYFRAMECOUNT(), 120);
    EXPECT_NEAR(REPLAYDURATION(), 119 * 33, 119);
    EXPECT_EQ(PLAYOUT(true), 120);
    EXPECT_EQ(REPLAYSTATUS(), REPLAYFINISHED);
    EXPECT_EQ(CLIENTCHATBUFFER[0].substr(3), "Eve: hi 92");

    size_t changed = 0;
    const std::vector<uint8_t> bent = REWRITE(path, [&](size_t index, DEMOFRAME& frame) {
        if (changed != 0 || index < 50 || frame.MESSAGELENGTHS.empty() || NETREADINT(frame.MESSAGEBYTES.data()) != UPDATE) return;
        frame.MESSAGEBYTES[14] ^= 1;  // slot 0's X
        changed = index + 1;
    });
    ASSERT_TRUE(REPLAYOPENBYTES(bent));
    EXPECT_EQ(PLAYOUT(false), static_cast<int64_t>(changed));
    EXPECT_EQ(REPLAYSTATUS(), REPLAYMISMATCH);
    EXPECT_EQ(REPLAYMESSAGE(), "the replay differs from the recording at frame " + std::to_string(changed) +
                                   " (recorded by Vexil! 1.0.0, replayed by Vexil! 1.0.0)");
    REPLAYCLOSE();
}

// A file cut anywhere replays its whole frames and then says it was cut;
// bad compressed data and a length beyond any record say so where they are.
TEST(Recording, CutDamagedAndHostileFilesEndWithOneLine) {
    const std::string path = RECORDGAME(150);
    const std::vector<uint8_t> whole = READALL(path);
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 2 / 3));
    ASSERT_TRUE(REPLAYOPENBYTES(cut));
    EXPECT_TRUE(REPLAYFRAMECOUNT() > 10 && REPLAYFRAMECOUNT() < 150);
    EXPECT_EQ(PLAYOUT(false), REPLAYFRAMECOUNT());
    EXPECT_EQ(REPLAYSTATUS(), REPLAYCUT);
    EXPECT_EQ(REPLAYMESSAGE(), "the recording was cut short after frame " + std::to_string(REPLAYFRAMECOUNT()));

    std::vector<uint8_t> garbage = whole;
    for (size_t i = whole.size() * 9 / 10; i < whole.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(REPLAYOPENBYTES(garbage)) << REPLAYMESSAGE();
    PLAYOUT(false);
    EXPECT_EQ(REPLAYSTATUS(), REPLAYBROKEN);
    EXPECT_NE(REPLAYMESSAGE().find("corrupted"), std::string::npos) << REPLAYMESSAGE();

    // A start record claiming 2 GiB: refused before anything that size is made.
    std::vector<uint8_t> hostile = DEMOHEADERBYTES(DEMOHEADER{"1.0.0", "x", "y", 0, 0, 640, 480});
    const uint8_t record[] = {DEMOSTARTRECORD, 0x80, 0x80, 0x80, 0x80, 0x08};
    uLongf size = 64;
    std::vector<uint8_t> packed(size);
    compress2(packed.data(), &size, record, sizeof record, 9);
    hostile.insert(hostile.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_FALSE(REPLAYOPENBYTES(hostile));
    EXPECT_EQ(REPLAYMESSAGE(), "the recording is corrupted (a record's length is beyond any real one)");
    REPLAYCLOSE();
}

TEST(Recording, TheFolderKeepsTheNewestTwentyAndNamesCarryDateTimeAndServer) {
    STARTGAMEVIDEO();
    std::filesystem::remove_all("rot");
    std::filesystem::create_directories("rot");
    for (int day = 10; day < 35; ++day) WRITEFILE("rot/2020-01-" + std::to_string(day) + "_00-00-00_x.vxdemo", "");
    WRITEFILE("rot/notes.txt", "");
    ASSERT_TRUE(RECORDERSTART("rot", "a b/c:7778", 1, VX_PLAYERNAME));
    RECORDERSTOP();
    size_t demos = 0;
    for (const auto& entry : std::filesystem::directory_iterator("rot")) demos += entry.path().extension() == ".vxdemo";
    EXPECT_EQ(demos, 20u);
    EXPECT_FALSE(std::filesystem::exists("rot/2020-01-15_00-00-00_x.vxdemo"));
    EXPECT_TRUE(std::filesystem::exists("rot/2020-01-16_00-00-00_x.vxdemo") && std::filesystem::exists("rot/notes.txt"));
    EXPECT_EQ(DEMOFILENAME(0, "a b/c:7778").substr(19), "_a_b_c_7778.vxdemo");
    EXPECT_EQ(DEMOFILENAME(0, "..").substr(19), "_server.vxdemo");
}

// A disk that refuses the writes, or a folder that cannot be made: one line
// on standard error, the recording stops, the frames go on.
TEST(Recording, AWriteErrorStopsTheRecordingWithOneLineAndTheGameGoesOn) {
    STARTGAMEVIDEO();
    FAKESERVER s;
    ASSERT_TRUE(MEMORYJOIN(s, 1));
    WRITEFILE("afile", "");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(RECORDERSTART("afile/demos", "h", 1, VX_PLAYERNAME));
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("vexil: not recording this game: cannot create afile/demos/", 0), 0u);

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64;  // the header fits, the first block does not
    setrlimit(RLIMIT_FSIZE, &small);
    // Standard error into a pipe: a capture file would fall under the limit too.
    int pipeends[2];
    ASSERT_EQ(pipe(pipeends), 0);
    std::cerr.flush();
    const int olderr = dup(2);
    dup2(pipeends[1], 2);
    ASSERT_TRUE(RECORDERSTART("full", "h", 1, VX_PLAYERNAME));
    int frames = 0;
    for (const uint32_t start = NETNOW(); RECORDERACTIVE() && NETNOW() - start < 5000; ++frames) {
        SHIPTABLE ships{};
        ships[3].X = frames, ships[3].CONNECTED = 1;
        PROTOWRITEUPDATE(s.CONN, ships, 1), SAY(s);
        CLIENTFRAME();
    }
    const int stopped = frames;
    for (int i = 0; i < 3; ++i, ++frames) CLIENTFRAME();
    setrlimit(RLIMIT_FSIZE, &old);
    dup2(olderr, 2), close(olderr), close(pipeends[1]);
    std::string said(4096, '\0');
    said.resize(static_cast<size_t>(std::max<ssize_t>(0, read(pipeends[0], said.data(), said.size()))));
    close(pipeends[0]);
    EXPECT_EQ(said.rfind("vexil: recording stopped, the game goes on: cannot write full/", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    EXPECT_TRUE(!RECORDERACTIVE() && frames == stopped + 3 && CLIENTCONNECTED());
}

// UPDATEs built by the server's own step (its libm, its order) between
// two sends: the writer finds the steps, the switch and the client turn,
// and whatever it cannot predict (a reborn ship) still comes back bit for
// bit; a guess beyond the caps in a file is refused, not replayed.
TEST(Recording, UpdatesArePredictedFromTheServersStepsAndComeBackExactly) {
    SHIPTABLE ships{};
    auto set = [&ships](int32_t slot, double x, double y, double xv, double yv, double heading, int32_t thrust) {
        SHIPTYPE& s = ships[static_cast<size_t>(slot)];
        s.X = x, s.Y = y, s.XVELOC = xv, s.YVELOC = yv, s.SUBDIRECTION = heading, s.CURRENTACCELERATION = thrust;
        s.CONNECTED = 1, s.PLAYERNAME = "P" + std::to_string(slot);
    };
    set(3, 4995, -20.5, 180.25, -7, 17.7, 300);  // bounces off the edge on the way
    set(7, -1200.125, 3000, -40, 95.5, 63.5, 0);
    set(9, 10, 20, 1, 2, 3, 0);
    set(5, 700, 800, -90, 60, 30, 0);  // thrust for two steps only, between two UPDATEs
    set(0, 50.5, 60.25, 33, 44, 40, -300);  // the recipient's own
    auto wire = [](const std::function<void(NETCONNECTION&)>& write) {
        NETCONNECTION conn;
        NETQUEUEMEMORY(nullptr, 0, true, nullptr);
        NETATTACH(conn, NETACCEPT(nullptr), nullptr);
        write(conn);
        return std::vector<uint8_t>(conn.OUTBUF.begin() + static_cast<std::ptrdiff_t>(conn.OUTPOS), conn.OUTBUF.end());
    };
    auto update = [&] { return wire([&ships](NETCONNECTION& c) { PROTOWRITEUPDATE(c, ships, 0); }); };
    const std::vector<uint8_t> first = update();
    const std::vector<uint16_t> steps{5, 6, 5, 5, 17, 5};
    // Slot 7's client turned right (past 64) for one 33 ms frame, and thrust,
    // from step 2.
    double turned = ships[7].SUBDIRECTION + 0.033 * TURNRATE;
    SHIPCLIENTWRAPHEADING(turned);
    for (size_t i = 0; i < steps.size(); ++i) {
        if (i == 2) ships[7].SUBDIRECTION = turned, ships[7].CURRENTACCELERATION = 300;
        ships[5].CURRENTACCELERATION = i == 1 || i == 2 ? 300 : 0;
        for (int32_t slot : {0, 3, 5, 7, 9}) {
            SHIPTYPE& ship = ships[slot];
            const int32_t radians = SHIPTURN(ship, steps[i] / 1000.0);
            SHIPWRAPHEADING(ship.SUBDIRECTION);
            ship.DIRECTION = SHIPWHOLEHEADING(ship.SUBDIRECTION);
            SHIPMOVE(ship, ship.CURRENTACCELERATION, radians, steps[i] / 1000.0);
            SHIPDRAG(ship, steps[i] / 1000.0);
        }
    }
    ships[9].X = -4321.0625, ships[9].Y = 17.75;  // reborn elsewhere
    const std::vector<uint8_t> second = update();
    // Slot 3 fires in the second step after that UPDATE (the steps alike).
    SHIPTYPE gun = ships[3];
    for (size_t i = 0; i < 2; ++i) {
        const int32_t radians = SHIPTURN(gun, steps[i] / 1000.0);
        SHIPWRAPHEADING(gun.SUBDIRECTION);
        SHIPMOVE(gun, gun.CURRENTACCELERATION, radians, steps[i] / 1000.0);
        if (i == 0) SHIPDRAG(gun, steps[i] / 1000.0);
    }
    const BULLETTYPE bullet{.X = static_cast<float>(gun.X), .Y = static_cast<float>(gun.Y), .SPEED = SHIPSHOTSPEED(gun),
                            .DIRECTION = FLOORINT(gun.SUBDIRECTION), .SPRITE = 1};
    const std::vector<uint8_t> shot = wire([&bullet](NETCONNECTION& c) { PROTOWRITESHOTFIRED(c, 7, bullet); });

    DEMOUPDATELAYOUT layout;
    ASSERT_TRUE(DEMOUPDATELAYOUTOF(first.data(), first.size(), 0, layout));
    std::vector<uint16_t> last;
    DEMOGUESS guess;
    DEMOFINDGUESS(first.data(), second.data(), layout, last, guess);
    EXPECT_EQ(guess.STEPS, steps);
    EXPECT_EQ(guess.SHIPS[3].MOTION + guess.SHIPS[7].MOTION + guess.SHIPS[0].MOTION, 3);
    EXPECT_EQ(guess.SHIPS[7].SWITCH, 2);
    EXPECT_EQ(guess.SHIPS[7].HEADING, 2);
    EXPECT_EQ(guess.SHIPS[7].TURN[0], 33);
    EXPECT_EQ(guess.SHIPS[0].RADIANS * guess.SHIPS[0].THRUST, 4 * -300);
    EXPECT_EQ(guess.SHIPS[9].MOTION, 0);
    const DEMOSHIPGUESS& twice = guess.SHIPS[5];
    EXPECT_EQ(std::vector<int32_t>({twice.MOTION, twice.SWITCH, twice.SWITCH2, twice.MIDTHRUST, twice.MIDDLE}),
              std::vector<int32_t>({1, 1, 3, 300, 1}));
    // The caps a file's guess must keep: steps and their length.
    std::vector<uint8_t> scratch = second;
    DEMOGUESS capped = guess;
    capped.STEPS.assign(DEMOMAXSTEPS, 5);
    EXPECT_TRUE(DEMOAPPLYGUESS(capped, first.data(), layout, scratch.data()));
    capped.STEPS.push_back(5);
    EXPECT_FALSE(DEMOAPPLYGUESS(capped, first.data(), layout, scratch.data()));
    capped.STEPS.assign(3, DEMOMAXSTEPMS + 1);
    EXPECT_FALSE(DEMOAPPLYGUESS(capped, first.data(), layout, scratch.data()));

    DEMOSTART start;
    DEMOCODEC writer, reader;
    DEMOCODECBEGIN(writer, start), DEMOCODECBEGIN(reader, start);
    DEMOFRAME frame, back;
    std::vector<std::vector<uint8_t>> bodies;
    for (const std::vector<uint8_t>* m : {&first, &second, &shot}) {
        DEMOCLEARFRAME(frame);
        frame.MESSAGEBYTES = *m, frame.MESSAGELENGTHS = {static_cast<uint32_t>(m->size())};
        DEMOENCODEFRAME(writer, frame, bodies.emplace_back());
        ASSERT_TRUE(DEMODECODEFRAME(reader, bodies.back().data(), bodies.back().size(), back));
        EXPECT_EQ(back.MESSAGEBYTES, *m);
    }
    // flags, 3 x (no ticks, no polls), 1 message, its length, its kind: then
    // the step count of the UPDATE, the firing slot and step of the shot.
    ASSERT_EQ(bodies[1][14], steps.size());
    EXPECT_EQ(std::vector<uint8_t>(bodies[2].begin() + 13, bodies[2].begin() + 15), std::vector<uint8_t>({3, 2}));
    EXPECT_EQ(std::count(bodies[2].begin() + 19, bodies[2].begin() + 27, 0) +  // X, Y as guessed
                  std::count(bodies[2].begin() + 31, bodies[2].begin() + 39, 0),  // direction, speed
              16);
    bodies[1][14] = DEMOMAXSTEPS + 1;
    DEMOCODECBEGIN(reader, start);
    ASSERT_TRUE(DEMODECODEFRAME(reader, bodies[0].data(), bodies[0].size(), back));
    EXPECT_FALSE(DEMODECODEFRAME(reader, bodies[1].data(), bodies[1].size(), back));
}
