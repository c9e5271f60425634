#pragma once

class QTextStream;

// kestrelsolo --run --dry-run: walks the lists as a sequence would, with the same
// filter, and lists the files that are due and the entries the exclusions leave out,
// with the reason of each. Nothing is packed, sent or written: the lists and the log
// are only read (a missing one counts as empty). The limits of one run (bytes,
// messages) are not applied: every due file is listed.
class DryRun
{
public:
    DryRun(QTextStream& out, bool fullBackUp) : m_out(out), m_fullBackUp(fullBackUp) {}

    // Returns the exit status: 0, or 1 when a list, the log or the patterns could not
    // be read.
    int exec();

private:
    QTextStream& m_out;
    bool m_fullBackUp;
};
