// SPDX-License-Identifier: MIT
#ifndef CORVID_EXCEPTION_H
#define CORVID_EXCEPTION_H

#include <exception>
#include <string>

namespace corvid {

// Root of every error the library throws. An error is its class plus two
// texts: a dotted name fixed by the line of derivation, and the message given
// at the throw site. what() is name + "[" + message + "]".
class exception : public std::exception {
public:
    explicit exception(const std::string& message);
    exception(const exception&) = default;
    exception& operator=(const exception&) = default;
    ~exception() override;

    const char* what() const noexcept override;
    virtual const char* message() const noexcept;
    virtual const char* name() const noexcept;

protected:
    // Each derived constructor appends its own segment, base classes first.
    void append_name(const char* segment);

private:
    // Composed eagerly so that what() never allocates and stays noexcept.
    std::string what_text;
    std::string message_text;
    std::string name_text;
};

}  // namespace corvid

// Declares an exception class with the two constructors every library error
// has. SEGMENT is the class's own part of the dotted name: the category text
// for a namespace's `generic`, otherwise the class name.
#define CORVID_EXCEPTION(NAME, BASE, SEGMENT)                        \
    class NAME : public BASE {                                       \
    public:                                                          \
        explicit NAME(const std::string& message) : BASE(message) {  \
            append_name(SEGMENT);                                    \
        }                                                            \
        NAME(const NAME&) = default;                                 \
    }

#endif
