// platform/message_box_web.cpp: boxes drawn in the page, a dialog element
// with the caption, the text and the box's buttons, waited for while the
// page runs on. UI thread.
#include "platform/message_box_system.h"

#include "platform/message_box.h"

#include <emscripten.h>

// Return answers the box's Return button, Escape its Escape button. The
// keys a box takes never reach SDL, so they cannot count again once it is
// down. The answer is the user's gesture that lets the page start sound,
// so the audio context is made (or woken) right in it.
EM_ASYNC_JS(int, show_page_box, (const char* caption, const char* text, int count, const char* const* labels,
                                 const int* ids, const int* flags), {
    var layer = document.getElementById('boxes') || document.body;
    return await new Promise(function(resolve) {
        var box = document.createElement('div');
        box.className = 'box';
        box.setAttribute('role', 'dialog');
        box.setAttribute('aria-modal', 'true');
        var heading = document.createElement('h2');
        heading.id = 'box-caption-' + (layer.childElementCount + 1);
        heading.textContent = UTF8ToString(caption);
        box.setAttribute('aria-labelledby', heading.id);
        var message = document.createElement('p');
        message.textContent = UTF8ToString(text);
        var row = document.createElement('div');
        row.className = 'buttons';
        box.append(heading, message, row);
        var on_return = -1, on_escape = -1, first = null, taken = null;
        function answer(id) {
            window.removeEventListener('keydown', on_key, true);
            box.remove();
            var sdl = Module['SDL2'] = Module['SDL2'] || {};
            var Context = window.AudioContext || window.webkitAudioContext;
            if (!sdl.audioContext && Context)
                sdl.audioContext = new Context();
            if (sdl.audioContext)
                sdl.audioContext.resume();
            resolve(id);
        }
        function on_key(e) {
            e.stopPropagation();
            e.preventDefault();
            if (e.key === 'Enter' && on_return >= 0)
                answer(on_return);
            else if (e.key === 'Escape' && on_escape >= 0)
                answer(on_escape);
            else
                return;
            // Its release too stays with the box.
            taken = e.code;
            window.addEventListener('keyup', function swallow(u) {
                if (u.code !== taken)
                    return;
                u.stopPropagation();
                window.removeEventListener('keyup', swallow, true);
            }, true);
        }
        for (var i = 0; i < count; ++i) {
            var button = document.createElement('button');
            var id = HEAP32[(ids >> 2) + i];
            button.textContent = UTF8ToString(HEAP32[(labels >> 2) + i]);
            button.onclick = answer.bind(null, id);
            row.append(button);
            if (HEAP32[(flags >> 2) + i] & 1)
                on_return = id;
            if (HEAP32[(flags >> 2) + i] & 2)
                on_escape = id;
            first = first || button;
        }
        window.addEventListener('keydown', on_key, true);
        layer.append(box);
        if (first)
            first.focus();
    });
});

// The box's buttons from the program's box type, left to right as the
// desktop shows them; flags: 1 answers Return, 2 answers Escape.
int platform_show_message_box(void*, const char* text, const char* caption, uint32_t type, int* answer)
{
    const bool yes_no = (type & 0x0F) == MB_YESNO;
    const char* const yes_no_labels[] = {"Yes", "No"};
    const int yes_no_ids[] = {IDYES, IDNO};
    const int yes_no_flags[] = {1, 2};
    const char* const ok_label[] = {"OK"};
    const int ok_id[] = {IDOK};
    const int ok_flags[] = {1 | 2};
    if (yes_no)
        *answer = show_page_box(caption, text, 2, yes_no_labels, yes_no_ids, yes_no_flags);
    else
        *answer = show_page_box(caption, text, 1, ok_label, ok_id, ok_flags);
    return 0;
}
