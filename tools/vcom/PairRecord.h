#pragma once

#include <string>
#include <sys/types.h>

// What the folder knows about one pair: the state file "pair<n>" that its holder
// writes, one item per line:
//   pid <holder pid>
//   A <COM number> <device path>
//   B <COM number> <device path>
// The A end is the one listed as "CNCA<n>", the B end as "CNCB<n>".
class PairRecord
{
public:
    int number = -1;
    pid_t pid = 0;
    int comA = 0;
    int comB = 0;
    std::string deviceA;
    std::string deviceB;

    std::string Format() const;
    // False when `text` is not a complete record; `number` is left untouched.
    bool Parse(const std::string& text);
};
