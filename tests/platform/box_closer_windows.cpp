// tests/platform/box_closer_windows.cpp: boxes on the Windows desktop, which
// SDL draws in this process. A thread of the test finds the box by its
// caption and sends it WM_CLOSE, as its close button does. Test thread.
#include "tests/platform/box_closer.h"

#include <windows.h>

#include <filesystem>
#include <thread>

namespace {

struct Closer {
    std::thread looking;
    int closed = 0;
};

}  // namespace

const char* boxes_unseen()
{
    return nullptr;
}

intptr_t start_closing_box(const std::string& title)
{
    auto* c = new Closer;
    c->looking = std::thread([c, wide = std::filesystem::path(title).wstring()] {
        for (int tries = 0; !c->closed && tries < 3000; ++tries) {
            if (HWND box = FindWindowW(nullptr, wide.c_str()))
                c->closed = PostMessageW(box, WM_CLOSE, 0, 0) != 0;
            else
                Sleep(20);
        }
    });
    return reinterpret_cast<intptr_t>(c);
}

int finish_closing_box(intptr_t closer)
{
    auto* c = reinterpret_cast<Closer*>(closer);
    c->looking.join();
    const int closed = c->closed;
    delete c;
    return closed;
}
