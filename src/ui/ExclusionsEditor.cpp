#include "ui/ExclusionsEditor.h"

#include "backupdata/ExcludeListFile.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "ui/ControlHelpers.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

namespace {

// Each item keeps the bytes of its line, so an unchanged line is written back as read.
constexpr int LineBytesRole = Qt::UserRole;

QListWidgetItem* makeLineItem(const QByteArray& bytes)
{
    auto* item = new QListWidgetItem(QString::fromUtf8(bytes));
    item->setData(LineBytesRole, bytes);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    return item;
}

QByteArray itemBytes(const QListWidgetItem* item)
{
    const QByteArray kept = item->data(LineBytesRole).toByteArray();
    // A line the user edited is written as its new text.
    return QString::fromUtf8(kept) == item->text() ? kept : item->text().toUtf8();
}

} // namespace

ExclusionsEditor::ExclusionsEditor(std::function<QStringList()> selectedFolders, QWidget* parent)
    : QGroupBox(QStringLiteral("Left Out of the Back Up"), parent),
      m_selectedFolders(std::move(selectedFolders))
{
    setObjectName(QStringLiteral("grbExclusions"));
    auto* layout = new QGridLayout(this);

    lsbExclusions = new QListWidget(this);
    lsbExclusions->setObjectName(QStringLiteral("lsbExclusions"));
    lsbExclusions->setAccessibleName(QStringLiteral("Patterns of what is left out"));
    lsbExclusions->setToolTip(
        QStringLiteral("One pattern a line, matched below each selected folder: *.tmp, "
                       "node_modules/ (a trailing / for folders only), /build (only at the top), "
                       "**/.cache/, !keep.log (takes back what a line above left out). "
                       "Double-click a line to change it."));
    lsbExclusions->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(lsbExclusions, 0, 0, 1, 4);

    edtExclusionPattern = makeEdit(this, QStringLiteral("edtExclusionPattern"),
                                   QStringLiteral("A pattern to add, as *.tmp or node_modules/"));
    edtExclusionPattern->setPlaceholderText(QStringLiteral("*.tmp, node_modules/, !keep.log"));
    btnAddExclusion = makeButton(this, QStringLiteral("btnAddExclusion"), QStringLiteral("&Add"),
                                 QStringLiteral("Add the pattern to the list"));
    btnRemoveExclusion =
        makeButton(this, QStringLiteral("btnRemoveExclusion"), QStringLiteral("Re&move"),
                   QStringLiteral("Remove the selected patterns"));
    layout->addWidget(makeLabel(this, QStringLiteral("lblExclusionPattern"),
                                QStringLiteral("&Pattern:"), edtExclusionPattern),
                      1, 0);
    layout->addWidget(edtExclusionPattern, 1, 1);
    layout->addWidget(btnAddExclusion, 1, 2);
    layout->addWidget(btnRemoveExclusion, 1, 3);

    ckbExcludeCacheFolders = makeCheckBox(
        this, QStringLiteral("ckbExcludeCacheFolders"),
        QStringLiteral("Leave out cache folders (those holding a CACHEDIR.TAG)"),
        QStringLiteral("Programs mark folders they can fill again with a CACHEDIR.TAG file"));
    layout->addWidget(ckbExcludeCacheFolders, 2, 0, 1, 4);

    spnExcludeLargerThanMB = new QSpinBox(this);
    spnExcludeLargerThanMB->setObjectName(QStringLiteral("spnExcludeLargerThanMB"));
    spnExcludeLargerThanMB->setRange(0, 1024 * 1024);
    spnExcludeLargerThanMB->setSuffix(QStringLiteral(" MB"));
    spnExcludeLargerThanMB->setSpecialValueText(QStringLiteral("No limit"));
    spnExcludeLargerThanMB->setToolTip(
        QStringLiteral("Files larger than this are left out; No limit leaves out none."));
    layout->addWidget(makeLabel(this, QStringLiteral("lblExcludeLargerThanMB"),
                                QStringLiteral("Leave out files &larger than:"),
                                spnExcludeLargerThanMB),
                      3, 0);
    layout->addWidget(spnExcludeLargerThanMB, 3, 1, Qt::AlignLeft);

    edtExclusionTest = makeEdit(this, QStringLiteral("edtExclusionTest"),
                                QStringLiteral("Type a path to see whether it is left out"));
    edtExclusionTest->setPlaceholderText(QStringLiteral("/home/you/project/build/"));
    layout->addWidget(makeLabel(this, QStringLiteral("lblExclusionTest"),
                                QStringLiteral("&Test a path:"), edtExclusionTest),
                      4, 0);
    layout->addWidget(edtExclusionTest, 4, 1, 1, 3);
    lblExclusionVerdict = makeLabel(this, QStringLiteral("lblExclusionVerdict"), QString());
    lblExclusionVerdict->setWordWrap(true);
    lblExclusionVerdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblExclusionVerdict, 5, 0, 1, 4);
    layout->setColumnStretch(1, 1);

    connect(btnAddExclusion, &QPushButton::clicked, this, &ExclusionsEditor::addPattern);
    connect(edtExclusionPattern, &QLineEdit::returnPressed, this, &ExclusionsEditor::addPattern);
    connect(btnRemoveExclusion, &QPushButton::clicked, this, &ExclusionsEditor::removeSelected);
    connect(lsbExclusions, &QListWidget::itemChanged, this, [this] {
        if (!m_loading)
            storePatterns();
    });
    connect(ckbExcludeCacheFolders, &QCheckBox::toggled, this, &ExclusionsEditor::storeLimits);
    connect(spnExcludeLargerThanMB, &QSpinBox::valueChanged, this, &ExclusionsEditor::storeLimits);
    connect(edtExclusionTest, &QLineEdit::textChanged, this, &ExclusionsEditor::showVerdict);
}

bool ExclusionsEditor::load()
{
    const TQuayRegistryObject store;
    m_loading = true;
    lsbExclusions->clear();
    bool read = true;
    try {
        for (const QByteArray& line : ExcludeListFile::readLines(store.ReadFileOfExclusions()))
            lsbExclusions->addItem(makeLineItem(line));
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        read = false;
    }
    ckbExcludeCacheFolders->setChecked(store.ReadExcludeCacheFolders());
    spnExcludeLargerThanMB->setValue(store.ReadExcludeFilesLargerThanMB());
    m_loading = false;
    m_loaded = read;
    btnAddExclusion->setEnabled(read);
    btnRemoveExclusion->setEnabled(read);
    showVerdict();
    return read;
}

void ExclusionsEditor::addPattern()
{
    const QString pattern = edtExclusionPattern->text().trimmed();
    if (pattern.isEmpty() || !m_loaded)
        return;
    m_loading = true;
    lsbExclusions->addItem(makeLineItem(pattern.toUtf8()));
    m_loading = false;
    edtExclusionPattern->clear();
    storePatterns();
}

void ExclusionsEditor::removeSelected()
{
    const QList<QListWidgetItem*> selected = lsbExclusions->selectedItems();
    if (selected.isEmpty() || !m_loaded)
        return;
    for (QListWidgetItem* item : selected)
        delete item;
    storePatterns();
}

void ExclusionsEditor::storePatterns()
{
    if (!m_loaded)
        return;
    QList<QByteArray> lines;
    for (int row = 0; row < lsbExclusions->count(); ++row)
        lines.append(itemBytes(lsbExclusions->item(row)));
    try {
        ExcludeListFile::writeLines(TQuayRegistryObject().ReadFileOfExclusions(), lines);
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
    }
    showVerdict();
}

void ExclusionsEditor::storeLimits()
{
    if (m_loading)
        return;
    const TQuayRegistryObject store;
    store.WriteExcludeCacheFolders(ckbExcludeCacheFolders->isChecked());
    store.WriteExcludeFilesLargerThanMB(spnExcludeLargerThanMB->value());
    showVerdict();
}

void ExclusionsEditor::showVerdict()
{
    QString path = edtExclusionTest->text().trimmed();
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    if (path.isEmpty()) {
        lblExclusionVerdict->clear();
        return;
    }
    if (!path.startsWith(QLatin1Char('/'))) {
        lblExclusionVerdict->setText(
            QStringLiteral("Type a whole path, from / or ~ (as ~/notes.txt)."));
        return;
    }
    // Every change is stored at once, so the stored filter is what the controls show,
    // with the line numbers the walk will name.
    try {
        const ExclusionCheck check{WalkFilter::fromSettings()};
        lblExclusionVerdict->setText(
            ExclusionCheck::describe(check.check(path, m_selectedFolders())));
    } catch (const KestrelError& error) {
        lblExclusionVerdict->setText(error.message());
    }
}
