// Video start-up from "config.cfg" on a windowing driver, the font, the
// frame period, shutdown, the watch on the X connection, the token reader
// and the debug channel. Main thread only; KELQUIT and KELFATAL may be
// reached from the server thread to end the process.
#include "media/video.h"

#include <dlfcn.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include <SDL_net.h>

#include "shared/world.h"

SDL_Surface* KELSCREENSURFACE = nullptr;
TTF_Font* KELFONT = nullptr;
int32_t KELFRAMESPERSECOND = 0;
int32_t KELFRAMEPERIOD = 0;
int32_t KELSDL_STARTED = 0;
int32_t KELDEBUGEVENTS = 0;
std::atomic<int32_t> KELEXITSTATUS{0};

namespace {
SDL_Surface* SDLVIDEOMODE(int width, int height, int depth, uint32_t flags) {
    return SDL_SetVideoMode(width, height, depth, flags);
}

constexpr int32_t TOKENLIMIT = 1024;
}  // namespace

SDL_Surface* (*KELSETVIDEOMODE)(int, int, int, uint32_t) = SDLVIDEOMODE;

// ---------------------------------------------------------------- tokens

bool KELOPENTOKENFILE(KELTOKENFILE& file, const char* path) {
    file = KELTOKENFILE();
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        file.ENDED = true;
        return false;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) file.TEXT.append(buffer, n);
    std::fclose(f);
    file.OPEN = true;
    return true;
}

void KELCLOSETOKENFILE(KELTOKENFILE& file) {
    file.OPEN = false;
    file.ENDED = true;
    file.TEXT.clear();
}

bool KELTOKENEOF(const KELTOKENFILE& file) { return file.ENDED || !file.OPEN; }

namespace {
// Next character, or -1 after marking that a read ran into the end.
int TAKE(KELTOKENFILE& file) {
    if (file.POS >= file.TEXT.size()) {
        file.ENDED = true;
        return -1;
    }
    return static_cast<unsigned char>(file.TEXT[file.POS++]);
}

int PEEK(const KELTOKENFILE& file, size_t ahead = 0) {
    if (file.POS + ahead >= file.TEXT.size()) return -1;
    return static_cast<unsigned char>(file.TEXT[file.POS + ahead]);
}
}  // namespace

std::string KELREADTOKEN(KELTOKENFILE& file) {
    std::string token;
    if (!file.OPEN) {
        file.ENDED = true;
        return token;
    }
    int c;
    do {
        c = TAKE(file);
        if (c < 0) return token;
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');

    if (c == '"') {
        for (;;) {
            if (static_cast<int32_t>(token.size()) >= TOKENLIMIT) return token;
            c = TAKE(file);
            if (c < 0 || c == '\n') return token;
            if (c == '\r') {
                if (PEEK(file) == '\n') ++file.POS;
                return token;
            }
            if (c == '"') break;
            token.push_back(static_cast<char>(c));
        }
        // After the closing quote: spaces and tabs, then a comma or CR LF.
        while (PEEK(file) == ' ' || PEEK(file) == '\t') ++file.POS;
        if (PEEK(file) < 0) {
            // Looking for the delimiter ran into the end of the file: the
            // last token was not followed by a line end, so no further read
            // is needed to see the end.
            file.ENDED = true;
        } else if (PEEK(file) == ',') {
            ++file.POS;
        } else if (PEEK(file) == '\r' && PEEK(file, 1) == '\n') {
            file.POS += 2;
        }
        return token;
    }

    for (;;) {
        if (c == ',' || c == '\n') return token;
        if (c == '\r') {
            if (PEEK(file) == '\n') ++file.POS;
            return token;
        }
        token.push_back(static_cast<char>(c));
        if (static_cast<int32_t>(token.size()) >= TOKENLIMIT) return token;
        c = TAKE(file);
        if (c < 0) return token;
    }
}

// ---------------------------------------------------------------- config

std::string KELTRIMLOWER(const std::string& token) {
    size_t start = token.find_first_not_of(' ');
    if (start == std::string::npos) return std::string();
    size_t end = token.find_last_not_of(' ');
    std::string out = token.substr(start, end - start + 1);
    for (char& ch : out) {
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
    return out;
}

int32_t KELCONFIGNUMBER(const std::string& token) {
    std::string text = KELTRIMLOWER(token);
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i + 1 < text.size() && text[i] == '&' && (text[i + 1] == 'h' || text[i + 1] == 'o' || text[i + 1] == 'b')) {
        int base = text[i + 1] == 'h' ? 16 : (text[i + 1] == 'o' ? 8 : 2);
        uint64_t value = 0;
        for (i += 2; i < text.size(); ++i) {
            int digit;
            char ch = text[i];
            if (ch >= '0' && ch <= '9') {
                digit = ch - '0';
            } else if (ch >= 'a' && ch <= 'f') {
                digit = ch - 'a' + 10;
            } else {
                break;
            }
            if (digit >= base) break;
            value = (value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit)) & 0xFFFFFFFFull;
        }
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }
    return ROUNDEVEN(std::atof(text.c_str() + i));
}

KELVIDEOCONFIG KELREADCONFIG(const char* path) {
    KELVIDEOCONFIG config;
    KELTOKENFILE file;
    KELOPENTOKENFILE(file, path);
    while (!KELTOKENEOF(file)) {
        std::string key = KELTRIMLOWER(KELREADTOKEN(file));
        if (key == "xres") {
            config.XRES = KELCONFIGNUMBER(KELREADTOKEN(file));
        } else if (key == "yres") {
            config.YRES = KELCONFIGNUMBER(KELREADTOKEN(file));
        } else if (key == "depth") {
            config.DEPTH = KELCONFIGNUMBER(KELREADTOKEN(file));
        } else if (key == "sdl_hwsurface") {
            config.SCREENOPTIONS |= SDL_HWSURFACE;
        } else if (key == "sdl_swsurface") {
            config.SCREENOPTIONS |= SDL_SWSURFACE;
        } else if (key == "sdl_doublebuf") {
            config.SCREENOPTIONS |= static_cast<int32_t>(SDL_DOUBLEBUF);
        } else if (key == "sdl_fullscreen") {
            config.SCREENOPTIONS |= static_cast<int32_t>(SDL_FULLSCREEN);
        } else if (key == "sdl_hwaccel") {
            config.SCREENOPTIONS |= static_cast<int32_t>(SDL_HWACCEL);
        } else if (key == "sdl_hwpalette") {
            config.SCREENOPTIONS |= static_cast<int32_t>(SDL_HWPALETTE);
        }
    }
    KELCLOSETOKENFILE(file);
    if (config.XRES == 0 && config.YRES == 0) {
        KELDEBUGEVENT("There was no configuration file! Using default resolution!");
        config.XRES = 640;
        config.YRES = 480;
        config.DEPTH = 32;
        config.SCREENOPTIONS = 0x6004;
    }
    return config;
}

// ---------------------------------------------------------------- start-up

void KELDEBUGEVENT(const std::string& text) {
    if (KELDEBUGEVENTS != 0) std::cout << text << std::endl;
}

void KELDEBUGEVENTSACTIVE(int32_t status) { KELDEBUGEVENTS = status; }

void KELSETFRAMESPERSECOND(int32_t framesPerSecond) {
    if (framesPerSecond == 0) return;  // no finite period; keep the current one
    KELFRAMEPERIOD = ROUNDEVEN(1000.0 / framesPerSecond);
}

void KELCONSOLEKEYWAIT() {
    if (!isatty(STDIN_FILENO)) return;
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    tcflush(STDIN_FILENO, TCIFLUSH);
    for (;;) {
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        int ready = poll(&pfd, 1, 50);
        if (ready > 0 || (ready < 0 && errno != EINTR)) break;
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

namespace {
// Windowing drivers, each with the variable that names its display: X11
// first (Xwayland included), then Wayland itself, which only SDL 2 has
// (current distributions ship SDL 1.2 as sdl12-compat over SDL 2).
struct KELWINDOWDRIVER {
    const char* DRIVER;
    const char* DISPLAYVARIABLE;
};
const KELWINDOWDRIVER KELWINDOWDRIVERS[] = {{"x11", "DISPLAY"}, {"wayland", "WAYLAND_DISPLAY"}};

// Started means a driver is in use: sdl12-compat answers 0 to a second
// SDL_Init after a failed one without starting anything.
bool KELVIDEOSTARTED() {
    char name[32];
    return SDL_Init(SDL_INIT_VIDEO) == 0 && SDL_VideoDriverName(name, sizeof name) != nullptr;
}
}  // namespace

void KELSTARTVIDEO() {
    const char* named = std::getenv("SDL_VIDEODRIVER");
    std::string reason;
    if (named != nullptr && *named != '\0') {
        if (KELVIDEOSTARTED()) return;
        reason = std::string("video driver ") + named + ": " + SDL_GetError();
    } else {
        // A driver is tried only when its display is named, so that neither
        // library guesses at a default display (or complains about one).
        for (const KELWINDOWDRIVER& driver : KELWINDOWDRIVERS) {
            const char* display = std::getenv(driver.DISPLAYVARIABLE);
            if (display == nullptr || *display == '\0') continue;
            setenv("SDL_VIDEODRIVER", driver.DRIVER, 1);
            if (KELVIDEOSTARTED()) return;
            if (reason.empty()) reason = std::string("cannot reach the display ") + display;
            SDL_Quit();
        }
        unsetenv("SDL_VIDEODRIVER");
        if (reason.empty()) reason = "no display (DISPLAY is not set)";
    }
    SDL_Quit();
    KELFATAL("cannot open a window: " + reason);
}

void (*KELDISPLAYLOSTHOOK)() = nullptr;

namespace {
// Xlib calls this from whichever call found the connection dead (the event
// pump, in the main thread) and ends the process itself if it returns, so
// it never returns. Nothing here touches the dead display.
int KELDISPLAYLOST(void* /*display*/) {
    static std::atomic<int32_t> lost{0};
    if (lost.exchange(1) == 0) {
        if (KELDISPLAYLOSTHOOK != nullptr) KELDISPLAYLOSTHOOK();
        const char* name = std::getenv("DISPLAY");
        std::cerr << "vexil: lost the connection to the display " << (name != nullptr ? name : "") << std::endl;
    }
    std::fflush(nullptr);
    std::_Exit(1);
}
}  // namespace

void KELWATCHDISPLAY() {
    // Looked up at run time: classic SDL 1.2 links Xlib, SDL 2 loads it on
    // demand, and neither exposes it; an X-less process has nothing to watch.
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (xlib == nullptr) return;
    using HANDLER = int (*)(void*);
    auto setHandler = reinterpret_cast<HANDLER (*)(HANDLER)>(dlsym(xlib, "XSetIOErrorHandler"));
    if (setHandler != nullptr) setHandler(KELDISPLAYLOST);
    // The handle stays open: the library must outlive the handler it holds.
}

void KELSDL_INIT() {
    KELSDL_STARTED = 1;
    KELVIDEOCONFIG config = KELREADCONFIG("config.cfg");
    KELSTARTVIDEO();
    config.SCREENOPTIONS |= static_cast<int32_t>(SDL_RLEACCEL | SDL_RLEACCELOK | SDL_ASYNCBLIT);
    KELSCREENSURFACE = KELSETVIDEOMODE(config.XRES, config.YRES, config.DEPTH,
                                       static_cast<uint32_t>(config.SCREENOPTIONS));
    if (KELSCREENSURFACE == nullptr) {
        KELDEBUGEVENT("There was an error initilizing with SDL!");
        KELDEBUGEVENT("Parameters");
        KELDEBUGEVENT("Resolution: " + std::to_string(config.XRES) + " x " + std::to_string(config.YRES));
        KELDEBUGEVENT("Depth:" + std::to_string(config.DEPTH));
        KELDEBUGEVENT("Screen Options: " + std::to_string(config.SCREENOPTIONS) + " <- this is supposed to be a number");
        KELDEBUGEVENT("");
        KELDEBUGEVENT("Press any key to continue");
        std::cerr << "vexil: cannot open a " << config.XRES << " x " << config.YRES << " x " << config.DEPTH
                  << " video mode (flags " << config.SCREENOPTIONS << "): " << SDL_GetError()
                  << "; check config.cfg" << std::endl;
        KELCONSOLEKEYWAIT();
        SDL_Quit();
        std::fflush(nullptr);
        std::_Exit(1);
    }
    // Set after the video mode: SDL puts its own handler in place while
    // starting, and this one replaces it.
    KELWATCHDISPLAY();
    if (TTF_Init() != 0) {
        SDL_Quit();
        std::cerr << "vexil: the font library failed to start: " << TTF_GetError() << std::endl;
        std::fflush(nullptr);
        std::_Exit(1);
    }
    const char* FONTFILE = "data/vera.ttf";
    const int FONTSIZE = 11;
    KELFONT = TTF_OpenFont(FONTFILE, FONTSIZE);
    if (KELFONT == nullptr) {
        KELDEBUGEVENT("Font failed to load");
        std::cerr << "vexil: cannot open the font " << FONTFILE << ": " << TTF_GetError() << std::endl;
        KELCONSOLEKEYWAIT();
        TTF_Quit();
        SDL_Quit();
        std::fflush(nullptr);
        std::_Exit(1);
    }
    KELFRAMESPERSECOND = 30;
    KELFRAMEPERIOD = ROUNDEVEN(1.0 / KELFRAMESPERSECOND * 1000.0);
}

void KELQUIT() {
    SDLNet_Quit();
    TTF_Quit();
    SDL_Quit();
    std::fflush(nullptr);
    std::_Exit(KELEXITSTATUS.load());
}

void KELFATAL(const std::string& message) {
    std::cerr << "vexil: " << message << std::endl;
    std::fflush(nullptr);
    std::_Exit(1);
}
