#pragma once

#include "backupdata/ExclusionCheck.h"

#include <QGroupBox>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

// "Left Out of the Back Up", on the Folder Selection page: the patterns of Exclude.Txt
// (the setting `FileOfExclusions`) with Add and Remove, the cache folders and the size
// limit, and a test field that tells whether a typed path is left out and by what.
// Every change is stored at once, as the page's Remove Folder stores the list.
class ExclusionsEditor : public QGroupBox
{
    Q_OBJECT

public:
    // selectedFolders: the folders the page shows as chosen, for the test field.
    ExclusionsEditor(std::function<QStringList()> selectedFolders, QWidget* parent = nullptr);

    // Reads Exclude.Txt and the two settings into the controls. Returns false, after
    // telling the user, when the file cannot be read (the list then stays read-only
    // until a later load succeeds, so a save cannot empty a file it never read).
    bool load();

    QListWidget* lsbExclusions;
    QLineEdit* edtExclusionPattern;
    QPushButton* btnAddExclusion;
    QPushButton* btnRemoveExclusion;
    QCheckBox* ckbExcludeCacheFolders;
    QSpinBox* spnExcludeLargerThanMB;
    QLineEdit* edtExclusionTest;
    QLabel* lblExclusionVerdict;

private:
    void addPattern();
    void removeSelected();
    void storePatterns();
    void storeLimits();
    void showVerdict();

    std::function<QStringList()> m_selectedFolders;
    bool m_loaded = false;
    bool m_loading = false;
};
