#include "ReplyWindow.h"

#include "platform/WindowMessages.h"

#include <cjson/cJSON.h>

#include <cstdlib>

LRESULT ReplyWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    Entry entry;
    entry.msg = msg;
    entry.wParam = wParam;
    if (msg == WM_TUNNEL_REPLY && lParam != 0) {
        char* text = cJSON_PrintUnformatted(reinterpret_cast<const cJSON*>(lParam));
        if (text != nullptr) {
            entry.json = text;
            std::free(text);
        }
    }
    entries_.push_back(entry);
    return 0;
}
