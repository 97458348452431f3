// tests/platform/read_box_windows.cpp: read-box, the end-to-end tests' eyes on
// a Windows box. Run in the same Windows session as the program (under
// Wine: the same prefix and display), it waits for the box and prints what
// a user sees of it, read from the box's own windows.
//
//   read-box CAPTION
//
// One line of JSON: {"caption": ..., "owner": the owner's title or null,
// "text": ..., "buttons": [their labels from left to right, "&" marking
// the key letter]}. Status 0, or 1 when no such box came within a minute
// (the machine may be loaded), 2 for a bad command line.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The id Windows gives the box's text (its icon has another, its buttons
// their answers).
constexpr int box_text_id = 0xFFFF;

std::string utf8(const std::wstring& wide)
{
    const int count = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(count > 0 ? count : 0), '\0');
    if (count > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(wide.size()), out.data(), count, nullptr, nullptr);
    return out;
}

std::wstring text_of(HWND window)
{
    std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

std::wstring class_of(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::string json(const std::wstring& text)
{
    std::string out = "\"";
    for (const char c : utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

struct Search {
    std::wstring caption;
    HWND found = nullptr;
};

// A dialog (class #32770, as every box is) of that caption, shown: Windows
// shows a box once its buttons are laid out.
BOOL CALLBACK look_at(HWND window, LPARAM search_address)
{
    auto* search = reinterpret_cast<Search*>(search_address);
    if (IsWindowVisible(window) && class_of(window) == L"#32770" && text_of(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

struct Button {
    LONG left;
    std::wstring label;
};

BOOL CALLBACK collect_button(HWND child, LPARAM buttons_address)
{
    RECT at;
    if (class_of(child) == L"Button" && IsWindowVisible(child) && GetWindowRect(child, &at))
        reinterpret_cast<std::vector<Button>*>(buttons_address)->push_back({at.left, text_of(child)});
    return TRUE;
}

}  // namespace

int main()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count != 2) {
        std::fprintf(stderr, "usage: read-box CAPTION\n");
        return 2;
    }
    Search search;
    search.caption = args[1];
    for (int tries = 0; !search.found && tries < 3000; ++tries) {
        EnumWindows(look_at, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
            Sleep(20);  // paces the looks only
    }
    if (!search.found) {
        std::fprintf(stderr, "read-box: no box %s came within a minute\n", json(search.caption).c_str());
        return 1;
    }
    const HWND box = search.found;
    std::vector<Button> buttons;
    EnumChildWindows(box, collect_button, reinterpret_cast<LPARAM>(&buttons));
    std::stable_sort(buttons.begin(), buttons.end(), [](const Button& a, const Button& b) { return a.left < b.left; });
    const HWND owner = GetWindow(box, GW_OWNER);
    const HWND text = GetDlgItem(box, box_text_id);
    std::string line = "{\"caption\": " + json(text_of(box));
    line += ", \"owner\": " + (owner ? json(text_of(owner)) : std::string("null"));
    line += ", \"text\": " + (text ? json(text_of(text)) : std::string("null"));
    line += ", \"buttons\": [";
    for (size_t i = 0; i < buttons.size(); ++i)
        line += (i ? ", " : "") + json(buttons[i].label);
    line += "]}\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    return 0;
}
