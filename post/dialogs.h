#ifndef CORVID_POST_DIALOGS_H
#define CORVID_POST_DIALOGS_H

#include "run.h"

#include <istream>
#include <memory>
#include <ostream>

namespace post {

// Message boxes as a dialogue on a terminal: caption and text are printed,
// a question is answered with y/yes or n/no; anything else, or the end of
// the input, is No. "d" prints the report that would be sent and asks again.
class terminal_ui : public ui {
public:
    terminal_ui(std::istream& in, std::ostream& out) : in(in), out(out) {}
    answer show(const box& message) override;
    void sending(const std::string& host) override;

private:
    std::istream& in;
    std::ostream& out;
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

// Chooses the dialogs from POST_UI ("terminal" or "none"; nullptr when
// unset) and from whether standard input is a terminal.
std::unique_ptr<ui> choose_ui(const char* requested, bool input_is_terminal, std::istream& in,
                              std::ostream& out, std::ostream& err);

}  // namespace post

#endif
