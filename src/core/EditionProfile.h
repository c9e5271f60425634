#pragma once

#include <QString>

// The four products built from one source tree. The running edition is decided by
// comparing the application name (set by each edition's main) with these names.
enum class Edition
{
    KestrelClient,
    KestrelSolo,
    KestrelCD,
    KestrelDrive
};

struct EditionProfile
{
    Edition edition;
    QString name;         // "KestrelSolo"
    QString registryRoot; // key path in the settings store, "Software\\Orrery\\KestrelSolo"
    QString helperName;   // file-manager helper program, empty where the edition has none
    QString handlerName;  // name of the file-manager action files
    QString handlerId;    // stable identifier of the menu extension
    QString menuDescription;
};

// Exact, case-sensitive comparison of a product name with the four edition names.
// Returns false for any other name.
bool editionFromProductName(const QString& productName, Edition* edition);

// The edition named by the application name; a program that is none of the four
// (a test or benchmark that did not name one) runs as KestrelSolo, the main product.
Edition currentEdition();
bool isEdition(Edition edition);
bool isMailEdition(Edition edition);

const EditionProfile& editionProfile(Edition edition);
const EditionProfile& currentProfile();

// The program folder of an edition: $XDG_DATA_HOME/Orrery/<Edition>, created on first use.
QString programFolder(Edition edition);
QString currentProgramFolder();
