// SPDX-License-Identifier: Apache-2.0
// Drives the window from outside, under Wine, as a user would, through the test hook of its
// test build for the drops (a drop handle posted from another process does not reach it
// under Wine):
//
//   veskar_window_test VESKAR_TEST_HOOK_EXE VESKAR_EXE SOURCE_FOLDER TARGET_FOLDER SCREENSHOT_PNG
//
// SOURCE_FOLDER, a full path on an NTFS volume, holds pair\Photo and its companion
// pair\._Photo, zeta and alone; TARGET_FOLDER is an empty folder on an NTFS volume. First
// VESKAR_EXE, the program users run, must ignore the hook. Then, in the test build, the
// window's caption and first page, its settings key under HKEY_LOCAL_MACHINE, the Browse
// buttons' folder dialog (at the remembered folder, a folder chosen in its tree, a cancel), a
// drop landing sorted, a duplicate's message box, a conversion and the page keys are checked;
// a picture of the window with its entries is written as a PNG. Exit status 0 when every
// check passed.
// <windows.h> comes before the headers that build on it.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/win32/control_ids_win32.h"

using namespace veskar;

namespace {

using control_id::Part;

int failures = 0;

void Check(bool ok, const std::string& what, const std::string& detail = "") {
    std::printf("%s: %s%s%s\n", ok ? "ok" : "FAILED", what.c_str(), detail.empty() ? "" : " -- ",
                detail.c_str());
    if (!ok) ++failures;
}

// Each wait is bounded so that a fault ends the test instead of hanging it; nothing is
// asserted about how long anything takes.
constexpr int kPollMs = 50;
constexpr int kPatienceMs = 30000;

template <typename Condition>
bool WaitFor(Condition condition) {
    for (int waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (condition()) return true;
        ::Sleep(kPollMs);
    }
    return condition();
}

std::string TextOf(HWND window) {
    // GetWindowTextA gives only the stored title of another program's window; the message
    // asks the control itself.
    char text[1024] = "";
    ::SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

struct Search {
    int id;
    HWND found;
};

BOOL CALLBACK MatchId(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (::GetDlgCtrlID(window) != search->id) return TRUE;
    search->found = window;
    return FALSE;
}

HWND Control(HWND form, int id) {
    Search search{id, nullptr};
    ::EnumChildWindows(form, MatchId, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Control(HWND form, Page page, Part part) {
    return Control(form, control_id::Of(page, part));
}

bool SendHook(HWND form, ULONG_PTR kind, Page page, const std::vector<std::string>& strings) {
    std::string data(1, static_cast<char>(page));
    for (const std::string& s : strings)
        data.append(s).push_back('\0');
    COPYDATASTRUCT copy{kind, static_cast<DWORD>(data.size()), data.data()};
    return ::SendMessageA(form, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy)) != 0;
}

std::vector<std::string> Entries(HWND form, Page page) {
    char folder[MAX_PATH];
    ::GetTempPathA(sizeof folder, folder);
    const std::string report = std::string(folder) + "veskar-window-entries.txt";
    std::vector<std::string> lines;
    if (!SendHook(form, test_hook::kListEntries, page, {report})) return {"(no answer)"};
    std::ifstream in(report, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ::DeleteFileA(report.c_str());
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines)
        out += (out.empty() ? "" : " | ") + line;
    return out;
}

// --- The settings in the registry, under the machine's root -----------------------------------

constexpr const char* kMakerKey = "Software\\Quorvane";
constexpr const char* kProgramKey = "Software\\Quorvane\\VESKAR";
constexpr const char* kLastFolderKey = "Software\\Quorvane\\VESKAR\\Reper";

bool KeyExists(const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::string Remembered() {
    char data[512] = "";
    DWORD size = sizeof data - 1;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLastFolderKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(none)";
    ::RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    return data;
}

// --- The folder dialog, SHBrowseForFolderA's, inside veskar.exe --------------------------------

// The dialog with a folder tree that the form owns; nullptr when none is open.
HWND FolderDialog(HWND form) {
    for (HWND dialog = nullptr; (dialog = ::FindWindowExA(nullptr, dialog, "#32770", nullptr));)
        if (::GetWindow(dialog, GW_OWNER) == form &&
            ::FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr) != nullptr)
            return dialog;
    return nullptr;
}

// A tree view item's text. The structure the message fills must lie in veskar.exe's memory:
// no pointer of a tree view message is carried across processes.
std::string ItemText(HANDLE process, HWND tree, HTREEITEM item) {
    struct Request {
        TVITEMA item;
        char text[MAX_PATH];
    };
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof(Request), MEM_COMMIT, PAGE_READWRITE);
    Request request{};
    request.item.mask = TVIF_TEXT;
    request.item.hItem = item;
    request.item.pszText = static_cast<char*>(remote) + offsetof(Request, text);
    request.item.cchTextMax = MAX_PATH - 1;
    std::string text = "(unreadable)";
    if (remote != nullptr &&
        ::WriteProcessMemory(process, remote, &request, sizeof request, nullptr) &&
        ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote)) &&
        ::ReadProcessMemory(process, remote, &request, sizeof request, nullptr))
        text = request.text;
    if (remote != nullptr) ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

HTREEITEM NextItem(HWND tree, UINT relation, HTREEITEM from) {
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
}

// The texts from the selected item up to the tree's root, the selected one first.
std::vector<std::string> SelectedChain(HANDLE process, HWND tree) {
    std::vector<std::string> chain;
    for (HTREEITEM item = NextItem(tree, TVGN_CARET, nullptr); item != nullptr;
         item = NextItem(tree, TVGN_PARENT, item))
        chain.push_back(ItemText(process, tree, item));
    return chain;
}

// Whether the selection is the folder X:\FIRST\...\LAST: the items from the selected one up
// bear LAST, ..., FIRST, then the drive's, which shows X: beside a label that varies.
bool SelectsFolder(const std::vector<std::string>& chain, const std::string& folder) {
    std::vector<std::string> names;
    for (std::size_t at = 3; at < folder.size();) {
        const std::size_t end = std::min(folder.find('\\', at), folder.size());
        names.insert(names.begin(), folder.substr(at, end - at));
        at = end + 1;
    }
    return chain.size() > names.size() && std::equal(names.begin(), names.end(), chain.begin()) &&
           chain[names.size()].find(folder.substr(0, 2)) != std::string::npos;
}

void Click(HWND window, int id) {
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Control(window, id)));
}

// Clicks a page's Browse button with Exit disabled, as a run leaves it, and waits for the
// dialog to show, which it does once its start folder is selected; nullptr when none opens.
HWND OpenFolderDialog(HWND form, Page page) {
    ::EnableWindow(Control(form, control_id::kExit), FALSE);
    Click(form, control_id::Of(page, Part::Browse));
    HWND dialog = nullptr;
    WaitFor([&] { return (dialog = FolderDialog(form)) != nullptr && ::IsWindowVisible(dialog); });
    Check(dialog != nullptr, "Browse opens a folder dialog owned by the window");
    return dialog;
}

// SOURCES is remembered from an earlier run: Browse opens with it selected; its subfolder
// pair, chosen in the tree, fills the box with its backslash and is remembered. Another page
// then opens there, and cancelling empties that page's box.
void CheckBrowse(HWND form, HANDLE process, const std::string& sources) {
    const std::string pairFolder = sources + "\\pair";
    HWND dialog = OpenFolderDialog(form, Page::McBinary);
    if (dialog == nullptr) return;
    const std::string prompt = "S\xE9lection du r\xE9pertoire devant contenir les fichiers";
    Check(::FindWindowExA(dialog, nullptr, "Static", prompt.c_str()) != nullptr, "the prompt");
    HWND tree = ::FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
    std::vector<std::string> chain = SelectedChain(process, tree);
    Check(SelectsFolder(chain, sources), "the remembered folder is selected", Joined(chain));
    HTREEITEM remembered = NextItem(tree, TVGN_CARET, nullptr);
    ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(remembered));
    for (HTREEITEM item = NextItem(tree, TVGN_CHILD, remembered); item != nullptr;
         item = NextItem(tree, TVGN_NEXT, item))
        if (ItemText(process, tree, item) == "pair")
            ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    chain = SelectedChain(process, tree);
    Check(SelectsFolder(chain, pairFolder), "its subfolder pair is selected", Joined(chain));
    Click(dialog, IDOK);
    HWND box = Control(form, Page::McBinary, Part::Folder);
    Check(WaitFor([&] { return TextOf(box) == pairFolder + "\\"; }),
          "OK puts the chosen folder into the box", TextOf(box));
    Check(Remembered() == pairFolder + "\\", "the chosen folder is remembered", Remembered());
    Check(::IsWindowEnabled(Control(form, control_id::kExit)) != FALSE, "Exit enabled after OK");

    box = Control(form, Page::AppleSingle, Part::Folder);
    ::SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pairFolder.c_str()));
    if ((dialog = OpenFolderDialog(form, Page::AppleSingle)) == nullptr) return;
    chain = SelectedChain(process, ::FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr));
    Check(SelectsFolder(chain, pairFolder), "another page opens at the folder chosen",
          Joined(chain));
    Click(dialog, IDCANCEL);
    Check(WaitFor([&] { return TextOf(box).empty(); }), "Cancel empties the box", TextOf(box));
    Check(Remembered() == pairFolder + "\\", "Cancel leaves the remembered folder", Remembered());
    Check(::IsWindowEnabled(Control(form, control_id::kExit)) != FALSE,
          "Exit enabled after Cancel");
}

// --- The program's process -------------------------------------------------------------------

// Starts the program in `folder` and waits for its form; nullptr (and the process ended) when
// none shows.
HWND StartWindow(const std::string& program, const std::string& folder,
                 PROCESS_INFORMATION& process) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command = "\"" + program + "\"";
    if (!::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process)) {
        Check(false, program + " starts", std::to_string(::GetLastError()));
        return nullptr;
    }
    HWND form = nullptr;
    WaitFor([&] {
        form = ::FindWindowA(test_hook::kFormClass, nullptr);
        return form != nullptr && ::IsWindowVisible(form);
    });
    Check(form != nullptr, "the window opens", program);
    if (form == nullptr) ::TerminateProcess(process.hProcess, 1);
    return form;
}

// Clicks Exit and checks that the program ends with status 0.
void ExitWindow(HWND form, PROCESS_INFORMATION& process) {
    ::PostMessageA(form, WM_COMMAND, MAKEWPARAM(control_id::kExit, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Control(form, control_id::kExit)));
    const bool ended = ::WaitForSingleObject(process.hProcess, kPatienceMs) == WAIT_OBJECT_0;
    DWORD status = 1;
    ::GetExitCodeProcess(process.hProcess, &status);
    Check(ended && status == 0, "Exit ends the program with status 0");
    if (!ended) ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}

// The program users run takes no drop and writes no file for another program: a list report
// aimed at an existing file leaves it as it was.
void CheckNoHook(const std::string& program, const std::string& sources) {
    PROCESS_INFORMATION process{};
    HWND form = StartWindow(program, sources, process);
    if (form == nullptr) return;
    const std::string kept = sources + "\\kept.txt";
    std::ofstream(kept, std::ios::binary) << "kept";
    Check(!SendHook(form, test_hook::kListEntries, Page::AppleDouble, {kept}),
          "veskar.exe does not answer the list hook");
    std::ifstream in(kept, std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    in.close();
    Check(content == "kept", "veskar.exe leaves the named file alone", content);
    ::DeleteFileA(kept.c_str());
    Check(!SendHook(form, test_hook::kDrop, Page::AppleDouble, {sources + "\\zeta"}),
          "veskar.exe does not answer the drop hook");
    HWND list = Control(form, Page::AppleDouble, Part::List);
    Check(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 0, "its list stays empty");
    ExitWindow(form, process);
}

// --- The page keys, typed as the keyboard would -----------------------------------------------

void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    const auto add = [&](WORD key, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    for (WORD key : keys)
        add(key, 0);
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
        add(*key, KEYEVENTF_KEYUP);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

LRESULT SelectedPage(HWND form) {
    return ::SendMessageA(Control(form, control_id::kPageControl), TCM_GETCURSEL, 0, 0);
}

// From the AppleDouble page's folder box: Ctrl+Tab twice turns to Binhex, then McBinary, and
// Ctrl+Shift+Tab back to Binhex, each page shown alone.
void CheckPageKeys(HWND form) {
    ::SetForegroundWindow(form);
    const DWORD self = ::GetCurrentThreadId();
    const DWORD window = ::GetWindowThreadProcessId(form, nullptr);
    ::AttachThreadInput(self, window, TRUE);
    ::SetFocus(Control(form, Page::AppleDouble, Part::Folder));
    ::AttachThreadInput(self, window, FALSE);
    struct Step {
        std::initializer_list<WORD> keys;
        Page page;
        const char* what;
    };
    const Step steps[] = {
        {{VK_CONTROL, VK_TAB}, Page::BinHex, "Ctrl+Tab turns to Binhex"},
        {{VK_CONTROL, VK_TAB}, Page::McBinary, "Ctrl+Tab again to McBinary"},
        {{VK_CONTROL, VK_SHIFT, VK_TAB}, Page::BinHex, "Ctrl+Shift+Tab back to Binhex"}};
    for (const Step& step : steps) {
        PressKeys(step.keys);
        const bool turned =
            WaitFor([&] { return SelectedPage(form) == static_cast<LRESULT>(step.page); });
        Check(turned && ::IsWindowVisible(Control(form, step.page, Part::Convert)) != FALSE &&
                  ::IsWindowVisible(Control(form, Page::AppleDouble, Part::Convert)) == FALSE,
              step.what, std::to_string(SelectedPage(form)));
    }
}

// --- A PNG of the window -------------------------------------------------------------------

std::uint32_t Crc32(const std::string& bytes, std::uint32_t crc = 0) {
    crc = ~crc;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

void Put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>(v >> shift));
}

void Chunk(std::string& png, const char* type, const std::string& body) {
    Put32(png, static_cast<std::uint32_t>(body.size()));
    const std::string typed = type + body;
    png += typed;
    Put32(png, Crc32(typed));
}

// Rows of RGB pixels into a PNG whose image data is zlib with stored (uncompressed) blocks.
bool WritePng(const std::string& path, int width, int height, const std::string& rgbRows) {
    std::string raw;
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        raw.append(1, '\0').append(rgbRows, static_cast<std::size_t>(y) * stride, stride);
    std::string zlib = "\x78\x01";
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
        zlib.push_back(at + n == raw.size() ? 1 : 0);
        zlib.push_back(static_cast<char>(n & 0xFF));
        zlib.push_back(static_cast<char>(n >> 8));
        zlib.push_back(static_cast<char>(~n & 0xFF));
        zlib.push_back(static_cast<char>((~n >> 8) & 0xFF));
        zlib.append(raw, at, n);
        at += n;
        if (n == 0) break;
    }
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    Put32(zlib, b << 16 | a);
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    Put32(header, static_cast<std::uint32_t>(width));
    Put32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", zlib);
    Chunk(png, "IEND", "");
    std::ofstream out(path, std::ios::binary);
    out << png;
    return static_cast<bool>(out);
}

// The window as the screen shows it, frame included.
bool Screenshot(HWND form, const std::string& path) {
    RECT r;
    ::GetWindowRect(form, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    std::string rgb;
    const auto* bgra = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < width * height; ++i) {
        rgb.push_back(static_cast<char>(bgra[i * 4 + 2]));
        rgb.push_back(static_cast<char>(bgra[i * 4 + 1]));
        rgb.push_back(static_cast<char>(bgra[i * 4]));
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return WritePng(path, width, height, rgb);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: veskar_window_test VESKAR_TEST_HOOK_EXE VESKAR_EXE SOURCES "
                     "TARGET SCREENSHOT\n");
        return 2;
    }
    const std::string program = argv[1], userProgram = argv[2], sources = argv[3], target = argv[4],
                      picture = argv[5];

    // The program starts in the sources' folder, which an earlier run remembered. The settings
    // go again at the end, unless they were there before.
    const bool hadSettings = KeyExists(kMakerKey);
    HKEY key = nullptr;
    const std::string start = sources + "\\";
    if (::RegCreateKeyA(HKEY_LOCAL_MACHINE, kLastFolderKey, &key) == ERROR_SUCCESS) {
        ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(start.c_str()),
                         static_cast<DWORD>(start.size() + 1));
        ::RegCloseKey(key);
    }

    CheckNoHook(userProgram, sources);

    PROCESS_INFORMATION process{};
    HWND form = StartWindow(program, sources, process);
    if (form == nullptr) return 1;

    // --- At start ---
    Check(TextOf(form) == "NTFS/SFM Converter", "caption", TextOf(form));
    HWND owner = ::GetWindow(form, GW_OWNER);
    char ownerClass[64] = "";
    ::GetClassNameA(owner, ownerClass, sizeof ownerClass);
    Check(std::string(ownerClass) == test_hook::kApplicationClass && TextOf(owner) == "VESKAR",
          "the application window, the task bar's, is called VESKAR", TextOf(owner));
    RECT client;
    ::GetClientRect(form, &client);
    Check(client.right == layout::kForm.width && client.bottom == layout::kForm.height,
          "client area 348 by 383",
          std::to_string(client.right) + " by " + std::to_string(client.bottom));
    HWND tabs = Control(form, control_id::kPageControl);
    Check(::SendMessageA(tabs, TCM_GETCURSEL, 0, 0) == static_cast<LRESULT>(Page::AppleDouble),
          "the AppleDouble tab is selected");
    for (const PageRow& row : Pages()) {
        const bool front = row.page == Page::AppleDouble;
        Check(::IsWindowVisible(Control(form, row.page, Part::Convert)) == (front ? TRUE : FALSE),
              std::string(row.caption) + (front ? " page shown" : " page hidden"));
        Check(TextOf(Control(form, row.page, Part::Folder)).empty(),
              std::string(row.folder) + " is empty");
    }
    Check(TextOf(Control(form, control_id::kExit)) == "Exit", "Exit button");
    Check(TextOf(Control(form, Page::AppleDouble, Part::FilesBox)) == " Files to convert: ",
          "files group box caption");
    Check(TextOf(Control(form, Page::AppleDouble, Part::TargetBox)) == " Target Folder: ",
          "target group box caption");

    // --- The settings, under the machine's root, which Wine lets every program write ---
    Check(KeyExists(kProgramKey) && !KeyExists("Software\\Quorvane\\VESKAR\\wxyz"),
          "the program key is under HKEY_LOCAL_MACHINE, the probe key wxyz gone");

    // --- Browse ---
    CheckBrowse(form, process.hProcess, sources);

    // --- A drop of three names lands sorted ---
    const std::string photo = sources + "\\pair\\Photo", companion = sources + "\\pair\\._Photo",
                      zeta = sources + "\\zeta", alone = sources + "\\alone";
    Check(SendHook(form, test_hook::kDrop, Page::AppleDouble, {zeta, photo, companion}),
          "hook takes the drop");
    std::vector<std::string> entries;
    const std::vector<std::string> sorted{companion, photo, zeta};
    WaitFor([&] { return (entries = Entries(form, Page::AppleDouble)).size() >= 3; });
    Check(entries == sorted, "the entries are sorted", Joined(entries));
    Check(Entries(form, Page::McBinary).empty(), "the McBinary list stays empty");

    // --- A duplicate brings the message, the new name is added ---
    Check(SendHook(form, test_hook::kDrop, Page::AppleDouble, {photo, alone}),
          "hook takes the second drop");
    HWND box = nullptr;
    WaitFor([&] { return (box = ::FindWindowA("#32770", "VESKAR")) != nullptr; });
    Check(box != nullptr, "a message box titled VESKAR opens");
    if (box != nullptr) {
        Check(::GetWindow(box, GW_OWNER) == form, "the message box is owned by the window");
        const std::string expected = "Le dossier " + photo + " existe d\xE9j\xE0 dans la liste.";
        Check(TextOf(::GetDlgItem(box, 0xFFFF)) == expected, "the message names the path",
              TextOf(::GetDlgItem(box, 0xFFFF)));
        HWND icon = ::GetDlgItem(box, 1088);
        Check(icon == nullptr || ::SendMessageA(icon, STM_GETICON, 0, 0) == 0, "no icon");
        HWND ok = ::GetDlgItem(box, IDOK);
        Check(ok != nullptr && ::GetDlgItem(box, IDCANCEL) == nullptr, "only an OK button");
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
        Check(WaitFor([&] { return !::IsWindow(box); }), "OK closes the message box");
    }
    WaitFor([&] { return (entries = Entries(form, Page::AppleDouble)).size() >= 4; });
    Check(entries == std::vector<std::string>{alone, companion, photo, zeta},
          "only the new name was added", Joined(entries));
    Check(::IsWindowEnabled(Control(form, Page::AppleDouble, Part::Convert)) != FALSE,
          "Convert is enabled with entries");

    ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(500);  // lets the window finish drawing before the picture; nothing is timed
    Check(Screenshot(form, picture), "screenshot written", picture);

    // --- Convert writes the outputs and empties the list ---
    HWND folder = Control(form, Page::AppleDouble, Part::Folder);
    // SetWindowTextA does not reach another program's controls; the message does.
    ::SendMessageA(folder, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    Check(TextOf(folder) == target, "the target folder is typed in", TextOf(folder));
    HWND convert = Control(form, Page::AppleDouble, Part::Convert);
    ::PostMessageA(form, WM_COMMAND,
                   MAKEWPARAM(control_id::Of(Page::AppleDouble, Part::Convert), BN_CLICKED),
                   reinterpret_cast<LPARAM>(convert));
    Check(WaitFor([&] { return Entries(form, Page::AppleDouble).empty(); }),
          "the run empties the list");
    Check(::IsWindowEnabled(Control(form, control_id::kExit)) != FALSE, "Exit enabled again");
    Check(::IsWindowEnabled(convert) == FALSE, "Convert disabled with the list empty");
    std::set<std::string> outputs;
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((target + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(search, &found))
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
            outputs.insert(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
    Check(outputs == std::set<std::string>{"Photo"},
          "one output, Photo, from the pair; the lone data files make none");

    CheckPageKeys(form);

    // --- Exit ends the program ---
    ExitWindow(form, process);
    if (!hadSettings) ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kMakerKey);
    std::printf("veskar.exe window: %d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
