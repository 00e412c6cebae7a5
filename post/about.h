// SPDX-License-Identifier: MIT
#ifndef CORVID_POST_ABOUT_H
#define CORVID_POST_ABOUT_H

// post --version and post --help: what this post is and where it sends,
// for whoever ships it or wonders where a report went.

#include "run.h"

#include <ostream>
#include <string>
#include <vector>

namespace post {

// When args is "--version" or "--help" alone, writes the answer to out and
// returns true; any other command line is the installer's exit code and
// returns false with nothing written.
bool answer_about(const std::vector<std::string>& args, const settings& config, std::ostream& out);

}  // namespace post

#endif
