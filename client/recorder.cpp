// Recording the client's game (see recorder.h). The client's thread only
// appends to a frame record and queues it; the writer thread encodes it
// (the UPDATE predictor's search runs there, off the game's frame),
// compresses (zlib level 9) and writes, with a complete block about once a
// second.
// Threads: RECORDING is per client thread; a DEMOWRITER is shared by its
// client thread (queue, flags) and its writer thread, under its mutex; its
// CODEC is the writer thread's once that thread runs.
#include "client/recorder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <zlib.h>

#include "client/demofile.h"
#include "client/network.h"
#include "media/clock.h"
#include "main/spine.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/video.h"
#include "shared/protocol.h"
#include "shared/version.h"

CLIENTTHREADLOCAL std::string CLIENTRECORDDIR;

namespace {
// A queued record: whole bytes, or a frame the writer still encodes.
struct DEMOITEM {
    std::vector<uint8_t> RECORD;
    bool ISFRAME = false;
    DEMOFRAME FRAME;
};
struct DEMOWRITER {
    std::mutex LOCK;
    std::condition_variable WAKE;
    std::deque<DEMOITEM> QUEUE;
    size_t QUEUED = 0;
    bool CLOSING = false;
    std::atomic<bool> FAILED{false};
    std::FILE* FILE = nullptr;
    std::string PATH;
    bool DONE = false;  // the writer thread has closed the file
    std::condition_variable FINISHED;
    DEMOCODEC CODEC;  // set up before the writer thread starts
};

// One line on standard error for the whole recording, whoever fails first.
void STOPLINE(DEMOWRITER& w, const std::string& why) {
    static std::mutex once;
    std::lock_guard<std::mutex> guard(once);
    if (w.FAILED) return;
    std::cerr << "vexil: recording stopped, the game goes on: " << why << std::endl;
    // Set after the line is out: whoever sees the recording stopped sees it said.
    w.FAILED = true;
}

bool WRITEOUT(DEMOWRITER& w, z_stream& zs, const std::vector<uint8_t>& in, int flush) {
    uint8_t chunk[65536];
    zs.next_in = const_cast<uint8_t*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    do {
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        deflate(&zs, flush);
        const size_t n = sizeof chunk - zs.avail_out;
        if (n > 0 && std::fwrite(chunk, 1, n, w.FILE) != n) return false;
    } while (zs.avail_out == 0 || zs.avail_in > 0);
    return true;
}

// The check record over the records since the last one; starts the next run.
std::vector<uint8_t> CHECKRECORD(uint32_t& crc) {
    std::vector<uint8_t> body{static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc >> 16),
                              static_cast<uint8_t>(crc >> 24)};
    std::vector<uint8_t> record;
    DEMOAPPENDRECORD(record, DEMOCHECKRECORD, body);
    crc = 0;
    return record;
}

// What a queued item counts against the queue's cap: its bytes, or a
// frame's bytes before encoding.
size_t QUEUEDSIZE(const DEMOITEM& item) {
    if (!item.ISFRAME) return item.RECORD.size();
    size_t size = item.FRAME.MESSAGEBYTES.size() + 64;
    for (const DEMOPHASE& phase : item.FRAME.PHASES) size += 4 * phase.TICKS.size() + 4 * phase.POLLS.size();
    return size;
}

// The writer thread keeps its record alive itself: a client that stops
// recording never waits long for a disk that hangs.
void WRITERBODY(std::shared_ptr<DEMOWRITER> keep) {
    DEMOWRITER* w = keep.get();
    uint32_t crc = 0;
    z_stream zs{};
    deflateInit(&zs, 9);
    auto lastsync = std::chrono::steady_clock::now();
    bool ok = true;
    std::vector<uint8_t> body;
    for (;;) {
        DEMOITEM queued;
        bool closing = false;
        {
            std::unique_lock<std::mutex> guard(w->LOCK);
            w->WAKE.wait_for(guard, std::chrono::milliseconds(DEMOFLUSHMS),
                             [&] { return !w->QUEUE.empty() || w->CLOSING; });
            if (!w->QUEUE.empty()) {
                queued = std::move(w->QUEUE.front());
                w->QUEUE.pop_front();
                w->QUEUED -= QUEUEDSIZE(queued);
            } else {
                closing = w->CLOSING;
            }
        }
        if (!ok) {
            if (closing) break;
            continue;
        }
        std::vector<uint8_t>& item = queued.RECORD;
        if (queued.ISFRAME) {
            body.clear();
            DEMOENCODEFRAME(w->CODEC, queued.FRAME, body);
            if (body.size() > DEMOMAXRECORD) {
                STOPLINE(*w, "a frame too large to record");
                ok = false;
                continue;
            }
            DEMOAPPENDRECORD(item, DEMOFRAMERECORD, body);
        }
        const auto now = std::chrono::steady_clock::now();
        const bool sync = now - lastsync >= std::chrono::milliseconds(DEMOFLUSHMS);
        const int flush = closing ? Z_FINISH : sync ? Z_SYNC_FLUSH : Z_NO_FLUSH;
        // A check record closes every block and comes before the end marker.
        const bool ending = !item.empty() && item[0] == DEMOENDRECORD;
        if (ending) ok = WRITEOUT(*w, zs, CHECKRECORD(crc), Z_NO_FLUSH);
        if (!item.empty()) {
            size_t head = 1;
            while (head < item.size() && (item[head] & 0x80) != 0) ++head;
            crc = DEMORECORDSCRC(crc, item[0], item.data() + head + 1, item.size() - head - 1);
        }
        if (ok && flush == Z_SYNC_FLUSH) ok = WRITEOUT(*w, zs, item, Z_NO_FLUSH), item = CHECKRECORD(crc);
        ok = ok && WRITEOUT(*w, zs, item, flush) && (flush == Z_NO_FLUSH || std::fflush(w->FILE) == 0);
        if (sync) lastsync = now;
        if (!ok) STOPLINE(*w, "cannot write " + w->PATH + ": " + std::strerror(errno));
        if (closing) break;
    }
    deflateEnd(&zs);
    if (std::fclose(w->FILE) != 0 && ok) STOPLINE(*w, "cannot write " + w->PATH + ": " + std::strerror(errno));
    w->FILE = nullptr;
    std::lock_guard<std::mutex> guard(w->LOCK);
    w->DONE = true;
    w->FINISHED.notify_all();
}

struct RECORDING {
    std::shared_ptr<DEMOWRITER> WRITER;
    DEMOFRAME FRAME;
    int PHASE = DEMOUPDATE;
    bool CONNECTEDATBEGIN = false;
    std::string PATH;
};
CLIENTTHREADLOCAL RECORDING* REC = nullptr;
CLIENTTHREADLOCAL std::string LASTPATH;

uint32_t TAPTICKS() {
    const uint32_t now = KELTICKSOURCE();
    REC->FRAME.PHASES[static_cast<size_t>(REC->PHASE)].TICKS.push_back(now);
    return now;
}

int TAPPOLL(SDL_Event* event) {
    const int got = SDL_PollEvent(event);
    DEMOEVENT e;
    if (got == 0) {
        REC->FRAME.PHASES[static_cast<size_t>(REC->PHASE)].POLLS.push_back(DEMOEVENT{});
    } else if (DEMOEVENTFROM(*event, e)) {
        REC->FRAME.PHASES[static_cast<size_t>(REC->PHASE)].POLLS.push_back(e);
    }
    return got;
}

void TAPMOUSE(int32_t& x, int32_t& y, int32_t& buttons) {
    KELSAMPLEMOUSE(x, y, buttons);
    REC->FRAME.FLAGS |= DEMOFLAGMOUSE;
    REC->FRAME.MOUSEX = x;
    REC->FRAME.MOUSEY = y;
    REC->FRAME.MOUSEBUTTONS = buttons;
}

void TAPMESSAGE(const uint8_t* bytes, size_t length) {
    REC->FRAME.MESSAGEBYTES.insert(REC->FRAME.MESSAGEBYTES.end(), bytes, bytes + length);
    REC->FRAME.MESSAGELENGTHS.push_back(static_cast<uint32_t>(length));
}

void UNTAP() {
    KELTHREADTICKS = nullptr;
    KELEVENTSOURCE = nullptr;
    KELMOUSESOURCE = nullptr;
    CLIENTMESSAGETAP = nullptr;
}

// Hands one record (or a frame to encode) to the writer; false (and the
// one line) when the writer has failed or its queue is full.
bool QUEUEITEM(DEMOITEM&& item) {
    DEMOWRITER& w = *REC->WRITER;
    if (w.FAILED) return false;
    const size_t size = QUEUEDSIZE(item);
    {
        std::lock_guard<std::mutex> guard(w.LOCK);
        if (w.QUEUED + size > DEMOQUEUEBYTES) {
            STOPLINE(w, "the disk cannot keep up with " + w.PATH);
            return false;
        }
        w.QUEUED += size;
        w.QUEUE.push_back(std::move(item));
    }
    w.WAKE.notify_one();
    return true;
}

bool QUEUE(uint8_t kind, const std::vector<uint8_t>& body) {
    DEMOITEM item;
    item.RECORD.reserve(body.size() + 8);
    DEMOAPPENDRECORD(item.RECORD, kind, body);
    return QUEUEITEM(std::move(item));
}

// Ends the writer thread (with the end marker when END) and forgets the recording.
void FINISH(bool end) {
    if (REC == nullptr) return;
    UNTAP();
    if (end) QUEUE(DEMOENDRECORD, {});
    DEMOWRITER& w = *REC->WRITER;
    {
        std::unique_lock<std::mutex> guard(w.LOCK);
        w.CLOSING = true;
        w.WAKE.notify_one();
        // A clean end waits a while for the last block to reach the disk; a
        // failed recording does not wait at all.
        w.FINISHED.wait_for(guard, std::chrono::milliseconds(end ? DEMOCLOSEWAITMS : 0), [&] { return w.DONE; });
    }
    delete REC;
    REC = nullptr;
}
}  // namespace

std::string DEMOFILENAME(std::time_t when, const std::string& server) {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    std::string name;
    for (char c : server.substr(0, 64)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        name += plain ? c : '_';
    }
    if (name.empty() || name.find_first_not_of('.') == std::string::npos) name = "server";
    return std::string(stamp) + "_" + name + ".vxdemo";
}

void DEMOPRUNE(const std::string& dir, size_t keep) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".vxdemo" && it->is_regular_file(error)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (size_t i = 0; i + keep < files.size(); ++i) fs::remove(files[i], error);
}

bool RECORDERSTART(const std::string& dir, const std::string& server, uint32_t randomstate, const std::string& player) {
    FINISH(true);
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    DEMOPRUNE(dir, DEMOKEEP - 1);
    const std::time_t now = std::time(nullptr);
    std::string path;
    std::FILE* file = nullptr;
    // "x": never overwrite; a second game in the same second gets a suffix.
    for (int n = 1; n <= 9 && file == nullptr; ++n) {
        std::string name = DEMOFILENAME(now, server);
        if (n > 1) name.insert(name.size() - 7, "_" + std::to_string(n));
        path = dir + "/" + name;
        file = std::fopen(path.c_str(), "wbx");
        if (file == nullptr && errno != EEXIST) break;
    }
    if (file == nullptr) {
        std::cerr << "vexil: not recording this game: cannot create " << path << ": " << std::strerror(errno)
                  << std::endl;
        return false;
    }
    DEMOHEADER header;
    header.GAMEVERSION = VEXILVERSION;
    header.PLAYERNAME = player;
    header.SERVER = server;
    header.DATE = static_cast<int64_t>(now);
    header.SLOT = CLIENTCURRENTPLAYERSHIP;
    KELGETSCREENDIMENSIONS(header.WIDTH, header.HEIGHT);
    const std::vector<uint8_t> head = DEMOHEADERBYTES(header);
    if (std::fwrite(head.data(), 1, head.size(), file) != head.size() || std::fflush(file) != 0) {
        std::cerr << "vexil: not recording this game: cannot write " << path << ": " << std::strerror(errno)
                  << std::endl;
        std::fclose(file);
        return false;
    }
    REC = new RECORDING;
    REC->PATH = path;
    LASTPATH = path;
    REC->WRITER = std::make_shared<DEMOWRITER>();
    REC->WRITER->FILE = file;
    REC->WRITER->PATH = path;
    DEMOSTART start;
    DEMOCAPTURESTART(start, randomstate);
    DEMOCODECBEGIN(REC->WRITER->CODEC, start);
    std::thread(WRITERBODY, REC->WRITER).detach();
    std::vector<uint8_t> body;
    DEMOENCODESTART(start, body);
    QUEUE(DEMOSTARTRECORD, body);
    KELTHREADTICKS = TAPTICKS;
    KELEVENTSOURCE = TAPPOLL;
    KELMOUSESOURCE = TAPMOUSE;
    CLIENTMESSAGETAP = TAPMESSAGE;
    return true;
}

void RECORDERFRAMEBEGIN() {
    if (REC == nullptr) return;
    DEMOCLEARFRAME(REC->FRAME);
    REC->PHASE = DEMOUPDATE;
    REC->CONNECTEDATBEGIN = CLIENTCONNECTED();
}

void RECORDERPHASE(int phase) {
    if (REC != nullptr && phase >= DEMOUPDATE && phase <= DEMOFLIP) REC->PHASE = phase;
}

void RECORDERFRAMEEND() {
    if (REC == nullptr) return;
    if (REC->CONNECTEDATBEGIN && !CLIENTCONNECTED()) REC->FRAME.FLAGS |= DEMOFLAGLOST;
    REC->FRAME.CHECK = DEMOWORLDCHECK();
    DEMOITEM item;
    item.ISFRAME = true;
    item.FRAME = std::move(REC->FRAME);
    REC->FRAME = DEMOFRAME{};
    if (!QUEUEITEM(std::move(item))) FINISH(false);
}

void RECORDERSTEERED() {
    if (REC == nullptr || !PROTOVALIDSLOT(CLIENTCURRENTPLAYERSHIP)) return;
    const SHIPTYPE& own = CLIENTPLAYERS[static_cast<size_t>(CLIENTCURRENTPLAYERSHIP)];
    DEMOFRAME& f = REC->FRAME;
    f.FLAGS |= DEMOFLAGSTEER;
    f.ACCELERATION = own.CURRENTACCELERATION;
    f.SHOOTING = own.SHOOTING;
    f.SHIPFRAME = own.FRAME;
    f.DIRECTION = own.DIRECTION;
    f.DELTATHETA = own.DELTATHETA;
}

void RECORDERSTOP() { FINISH(true); }

bool RECORDERACTIVE() { return REC != nullptr; }

std::string RECORDERPATH() { return LASTPATH; }
