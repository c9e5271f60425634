#pragma once

#include <QIODevice>

// Whether deflating a file is worth it: its first MiB, deflated at a fast level,
// must shrink to at most 97 % of its size. Data that is compressed or encrypted
// already (and an empty file) is stored instead, which spares the deflate time and
// the few bytes deflate adds to such data. Reads from input's start and leaves it
// at its start again; false also when input cannot be read (the copy that follows
// reports why).
bool deflateShrinks(QIODevice& input);
