#pragma once

#include <QString>
#include <QStringList>

// The disc writing program as the burner uses it: one run of it with the given
// arguments, its exit status and what it printed. The real one runs xorriso.
class DiscWriter
{
public:
    struct Result
    {
        bool ran = false;
        int exitCode = -1;
        QString output;
        bool ok() const { return ran && exitCode == 0; }
    };
    virtual ~DiscWriter() = default;
    // Blocks until the program ends; may be called from any thread.
    virtual Result run(const QStringList& arguments) = 0;
};

class XorrisoDiscWriter : public DiscWriter
{
public:
    Result run(const QStringList& arguments) override;
};
