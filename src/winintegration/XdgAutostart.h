#pragma once

#include "core/PlatformServices.h"

#include <QString>

// The start-with-the-desktop entry as an XDG autostart file,
// $XDG_CONFIG_HOME/autostart/<Edition>.desktop, naming the running executable. Each
// edition has its own entry, so the entry always starts the program that wrote it.
class XdgAutostart : public AutostartService
{
public:
    bool isPresent() override;
    void write(bool present) override;

    static QString entryPath();
    // The desktop entry text for an executable path, its Exec key quoted by the
    // rules of the freedesktop.org desktop entry format.
    static QString entryText(const QString& editionName, const QString& executable);
    static QString quoteExecArgument(const QString& argument);
};
