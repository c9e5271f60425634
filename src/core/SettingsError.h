#pragma once

#include "core/KestrelError.h"

// A value that could not be stored in the settings database. Its own type, so a
// caller that has already told the user that the database cannot be opened can
// leave the failures that follow from it untold.
class SettingsError : public KestrelError
{
public:
    using KestrelError::KestrelError;
};
