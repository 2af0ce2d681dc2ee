// The accounts file of tessel-standin --accounts: the securities the
// simulator trades and the users who may log in, with their identities,
// cash and positions. Its format is in docs/simulator-accounts.md;
// tools/standin/accounts-example.json is a complete one.
#pragma once

#include <string>

#include "tools/standin/book.h"

namespace tessel::standin {

// Reads the accounts file at `path` into `seed`. False, with `error`
// naming the place in the file and what is wrong there, for a file that
// cannot be read, is not JSON or does not describe a usable book.
bool LoadAccounts(const std::string& path, Seed& seed, std::string& error);
// The same for the file's text.
bool ParseAccounts(const std::string& text, Seed& seed, std::string& error);

}  // namespace tessel::standin
