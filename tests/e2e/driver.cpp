// The Windows end-to-end driver: starts sorrel.exe and works its picker and message boxes
// from inside Wine as a person does, with keystrokes (SendInput) into the foreground window;
// reads what they show with WM_GETTEXT, and reports it on standard output, one line each,
// texts as the program's GBK bytes.
//
//   driver inspect SORREL_EXE              the exe's resources and imports
//   driver run SORREL_EXE ACTION [ARG...]  ACTION: "cancel", or a file name to type and open;
//                                          the program started with the ARGs (options)
//   driver args SORREL_EXE PATH...         started with these arguments: no picker, the boxes
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 120000;
constexpr int kFilterCombo = 0x470;  // cmb1: "files of type"
constexpr int kFolderCombo = 0x471;  // cmb2: "look in"
constexpr int kNameEdit = 0x480;     // edt1: the file name

std::string TextOf(HWND window) {
    char buffer[4096] = {};
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    return buffer;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct Search {
    DWORD pid;
    HWND skip;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == s->pid && w != s->skip && IsWindowVisible(w) && ClassOf(w) == "#32770") {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog-class window of the process, other than `skip`.
HWND FindDialog(DWORD pid, HWND skip) {
    Search s{pid, skip, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK TakeStaticText(HWND w, LPARAM p) {
    auto* text = reinterpret_cast<std::string*>(p);
    if (ClassOf(w) == "Static" && text->empty()) *text = TextOf(w);
    return TRUE;
}

// The message text of a box: its static control with text (the icon's has none).
std::string BoxText(HWND box) {
    std::string text;
    EnumChildWindows(box, TakeStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

// Waits up to five seconds for `window` to hold the keyboard.
bool BecomesForeground(HWND window) {
    for (int i = 0; i < 100; ++i) {
        if (GetForegroundWindow() == window) return true;
        Sleep(50);
    }
    return false;
}

void Send(INPUT down) {
    INPUT keys[2] = {down, down};
    keys[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

void Press(WORD key) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    Send(in);
}

// Types the text (GBK) character by character.
void Type(const std::string& text) {
    wchar_t wide[1024] = {};
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 1024);
    for (const wchar_t* c = wide; *c != 0; ++c) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wScan = *c;
        in.ki.dwFlags = KEYEVENTF_UNICODE;
        Send(in);
    }
}

// Starts the exe with `args` (each in double quotes); with no ACTION there is no picker to
// work, only boxes.
int Run(const char* exe, const std::vector<std::string>& args, const std::string& action) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = std::string("\"") + exe + "\"";
    for (const std::string& a : args) command += " \"" + a + "\"";
    if (!CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("error: cannot start %s (%lu)\n", exe, GetLastError());
        return 1;
    }
    const DWORD start = GetTickCount();
    auto timed_out = [&] { return GetTickCount() - start > kTimeoutMs; };
    auto finish = [&](int code) {
        if (code != 0) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        std::fflush(stdout);
        return code;
    };

    HWND picker = nullptr;
    while (!action.empty() && !(picker = FindDialog(process.dwProcessId, nullptr))) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
        if (timed_out()) return std::printf("timeout: no picker\n"), finish(1);
    }
    if (picker != nullptr) {
        Sleep(500);  // let the dialog fill its lists
        HWND carrier = GetWindow(picker, GW_OWNER);
        char title[256] = {};
        GetWindowTextA(carrier, title, sizeof title);
        std::printf("carrier: %s visible=%d topmost=%d\n", title, IsWindowVisible(carrier) ? 1 : 0,
                    (GetWindowLongA(carrier, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
        GetWindowTextA(picker, title, sizeof title);
        std::printf("picker: %s | filter %s | folder %s\n", title, TextOf(GetDlgItem(picker, kFilterCombo)).c_str(),
                    TextOf(GetDlgItem(picker, kFolderCombo)).c_str());

        // A person types only into the window that has the keyboard. While it waits, the
        // test script reads the program's processor time from the system.
        const bool foreground = BecomesForeground(picker);
        std::printf("picker waits: foreground=%d\n", foreground ? 1 : 0);
        std::fflush(stdout);
        if (action == "cancel") Sleep(2000);
        if (!foreground) {  // keystrokes would go astray: the messages a keystroke sends
            if (action != "cancel") {
                SendMessageA(GetDlgItem(picker, kNameEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(action.c_str()));
            }
            PostMessageA(picker, WM_COMMAND, action == "cancel" ? IDCANCEL : IDOK, 0);
        } else if (action == "cancel") {
            Press(VK_ESCAPE);
        } else {
            Type(action);
            Press(VK_RETURN);
        }
        while (IsWindow(picker) && IsWindowVisible(picker)) {
            if (timed_out()) return std::printf("timeout: the picker stays\n"), finish(1);
            Sleep(50);
        }
    }

    // Each box in turn: caption and text, then Enter.
    while (WaitForSingleObject(process.hProcess, 50) != WAIT_OBJECT_0) {
        if (timed_out()) return std::printf("timeout: the program does not end\n"), finish(1);
        HWND box = FindDialog(process.dwProcessId, nullptr);
        if (box == nullptr) continue;
        Sleep(200);
        char caption[256] = {};
        GetWindowTextA(box, caption, sizeof caption);
        std::printf("box: [%s] %s\n", caption, BoxText(box).c_str());
        if (BecomesForeground(box)) {
            Press(VK_RETURN);
        } else {
            std::printf("not foreground: [%s]\n", caption);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        while (IsWindow(box) && WaitForSingleObject(process.hProcess, 50) != WAIT_OBJECT_0) {
            if (timed_out()) return std::printf("timeout: the box stays\n"), finish(1);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("exit: %lu\n", static_cast<unsigned long>(code));
    return finish(0);
}

#pragma pack(push, 1)
struct DialogHeader {  // how an extended dialog template (DLGTEMPLATEEX) begins
    WORD version, signature;
    DWORD help_id, ex_style, style;
    WORD count;
    short x, y, cx, cy;
};
#pragma pack(pop)

// The dialog template, the version strings and the imported libraries of the exe.
int Inspect(const char* exe) {
    HMODULE image = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr) return std::printf("error: cannot load %s\n", exe), 1;
    HRSRC found = FindResourceExA(image, RT_DIALOG, MAKEINTRESOURCEA(1000), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    if (found != nullptr) {
        DialogHeader t;
        std::memcpy(&t, LockResource(LoadResource(image, found)), sizeof t);
        std::printf("dialog 1000: ver %u sig %04X exstyle %08lX style %08lX items %u at %d,%d size %d,%d\n", t.version,
                    t.signature, static_cast<unsigned long>(t.ex_style), static_cast<unsigned long>(t.style), t.count,
                    t.x, t.y, t.cx, t.cy);
    } else {
        std::printf("dialog 1000: none\n");
    }
    std::printf("icon 129: %s\n", FindResourceA(image, MAKEINTRESOURCEA(129), RT_GROUP_ICON) ? "present" : "none");
    FreeLibrary(image);

    DWORD ignored = 0, size = GetFileVersionInfoSizeA(exe, &ignored);
    std::vector<char> info(size);
    if (size > 0 && GetFileVersionInfoA(exe, 0, size, info.data())) {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT n = 0;
        VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &n);
        std::printf("version: %lu.%lu.%lu.%lu\n", static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                    static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                    static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                    static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
        for (const char* key : {"FileDescription", "FileVersion", "ProductName", "ProductVersion"}) {
            char* value = nullptr;
            std::string query = std::string("\\StringFileInfo\\080404B0\\") + key;
            if (VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &n))
                std::printf("%s: %s\n", key, value);
        }
    }

    // The import directory, read from the file as the loader would.
    HMODULE mapped = LoadLibraryExA(exe, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (mapped != nullptr) {
        auto* base = reinterpret_cast<const BYTE*>(mapped);
        auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        std::printf("large address aware: %s\n",
                    (nt->FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE) ? "yes" : "no");
        std::printf("imports:");
        for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name != 0; ++d)
            std::printf(" %s", reinterpret_cast<const char*>(base + d->Name));
        std::printf("\n");
        FreeLibrary(mapped);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "inspect") == 0) return Inspect(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "run") == 0)
        return Run(argv[2], std::vector<std::string>(argv + 4, argv + argc), argv[3]);
    if (argc >= 3 && std::strcmp(argv[1], "args") == 0)
        return Run(argv[2], std::vector<std::string>(argv + 3, argv + argc), "");
    std::fprintf(stderr, "usage: driver inspect EXE | driver run EXE ACTION [ARG...] | driver args EXE PATH...\n");
    return 2;
}
