// SPDX-License-Identifier: MIT
#ifndef CORVID_POST_DIALOGS_H
#define CORVID_POST_DIALOGS_H

#include "run.h"

#include <functional>
#include <istream>
#include <memory>
#include <ostream>

namespace post {

// Message boxes as a dialogue on a terminal: caption and text are printed,
// wrapped to COLUMNS (0: not wrapped), and a question is answered with y/yes
// or n/no; any other answer asks again, and the end of the input is No. "d"
// shows the report that would be sent, PAGE_LINES lines at a time (0: all
// at once), and asks again. A box that offers to save the report gives
// answer::save, so that save_path asks for the file.
class terminal_ui : public ui {
public:
    terminal_ui(std::istream& in, std::ostream& out, std::size_t page_lines = 0, std::size_t columns = 0)
        : in(in), out(out), page_lines(page_lines), columns(columns) {}
    answer show(const box& message) override;
    void sending(const std::string& host) override;
    std::string save_path(const std::string& suggested) override;

private:
    void page(const std::string& text);
    // Prints text wrapped, without a line end after the last line.
    void say(const std::string& text);
    // One line of input, trimmed; false at the end of the input.
    bool read_answer(std::string& reply);

    std::istream& in;
    std::ostream& out;
    std::size_t page_lines;
    std::size_t columns;
};

// Text broken at blanks into lines of at most width characters (UTF-8
// sequences count as one); a word longer than a line stands alone. Line
// breaks already in the text stay. A width of 0 leaves the text as it is.
std::string wrap(const std::string& text, std::size_t width);

// Nobody to ask: every question is answered No, so nothing is sent, and the
// information boxes go to the error stream.
class silent_ui : public ui {
public:
    explicit silent_ui(std::ostream& err) : err(err) {}
    answer show(const box& message) override;
    void sending(const std::string&) override {}
    std::string save_path(const std::string&) override { return {}; }

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
    std::size_t columns = 0;     // the terminal's width, for wrapping its texts
    std::function<std::unique_ptr<ui>()> start_gtk;
};

// The forced choice when POST_UI names one; else GTK when there is a display
// and it starts, the terminal when standard input is one, and nobody
// otherwise. A forced GTK that cannot start is told on ERR and falls back.
std::unique_ptr<ui> choose_ui(const ui_setting& setting, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace post

#endif
