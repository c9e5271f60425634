#pragma once

// The user's choices for one sequence, read from the window once when it starts, so
// that the whole run and its end follow the same choices.
struct SequenceChoices
{
    enum class BackUpType
    {
        Incremental,
        Full
    };

    BackUpType backUpType = BackUpType::Incremental;
    // The "Back Up Sub Folders " box.
    bool backUpSubFolders = false;
    // The "Disconnect After Back Up Complete" box.
    bool disconnectAfterBackUp = false;
};
