#pragma once

// The running number of processed files. A file object advances it when it is made
// and when it gives a file a staging name; the drive copies carry its current value.
// Passed in, so a caller can keep the number anywhere (the settings in the program, a
// plain member in a test).
class FileIdCounter
{
public:
    virtual ~FileIdCounter() = default;
    virtual int current() const = 0;
    // Adds one and returns the new value.
    virtual int advance() = 0;

    // The counter kept in the settings (FileIDNumber), as every run of the program
    // shares it.
    static FileIdCounter& settings();
};

// A counter held in memory only.
class MemoryFileIdCounter : public FileIdCounter
{
public:
    explicit MemoryFileIdCounter(int value = 0) : m_value(value) {}
    int current() const override { return m_value; }
    int advance() override { return ++m_value; }

private:
    int m_value;
};
