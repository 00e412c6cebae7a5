#ifndef CORVID_POST_DIALOGS_H
#define CORVID_POST_DIALOGS_H

#include "run.h"

#include <functional>
#include <istream>
#include <memory>
#include <ostream>

namespace post {

// Message boxes as a dialogue on a terminal: caption and text are printed,
// a question is answered with y/yes or n/no; anything else, or the end of
// the input, is No. "d" shows the report that would be sent, PAGE_LINES
// lines at a time (0: all at once), and asks again.
class terminal_ui : public ui {
public:
    terminal_ui(std::istream& in, std::ostream& out, std::size_t page_lines = 0)
        : in(in), out(out), page_lines(page_lines) {}
    answer show(const box& message) override;
    void sending(const std::string& host) override;

private:
    void page(const std::string& text);

    std::istream& in;
    std::ostream& out;
    std::size_t page_lines;
};

// Nobody to ask: every question is answered No, so nothing is sent, and the
// information boxes go to the error stream.
class silent_ui : public ui {
public:
    explicit silent_ui(std::ostream& err) : err(err) {}
    answer show(const box& message) override;
    void sending(const std::string&) override {}

private:
    std::ostream& err;
};

// Where the dialogs may appear, and how to start the graphical ones
// (nullptr from start_gtk when GTK cannot start).
struct ui_setting {
    const char* requested = nullptr;  // POST_UI: "gtk", "terminal" or "none"; nullptr when unset
    bool has_display = false;         // DISPLAY or WAYLAND_DISPLAY is set
    bool input_is_terminal = false;
    std::size_t page_lines = 0;  // the terminal's height, for showing the report
    std::function<std::unique_ptr<ui>()> start_gtk;
};

// The forced choice when POST_UI names one; else GTK when there is a display
// and it starts, the terminal when standard input is one, and nobody
// otherwise. A forced GTK that cannot start is told on ERR and falls back.
std::unique_ptr<ui> choose_ui(const ui_setting& setting, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace post

#endif
