#pragma once

#include <QObject>
#include <QString>

#include <memory>

class BurnerSearch;
class DiscWriter;
class QComboBox;
struct BurnerDevice;

// The choice of the disc burner (the setting CDBurnerDevice) in an editable list: one
// of the burners xorriso finds, searched for in the background so that the window
// stays usable, a device typed by hand, or an image file "stdio:<path>" chosen with
// the file dialog. The Drive page and the setup wizard both use it.
class BurnerField : public QObject
{
    Q_OBJECT
public:
    explicit BurnerField(QComboBox* box, QObject* parent = nullptr);

    void setDiscWriter(std::shared_ptr<DiscWriter> writer);
    // Lists the burners afresh, keeping what the field shows; an empty field then shows
    // the first burner found.
    void search();
    // The device as chosen or typed, without blanks around it.
    QString device() const;
    void setDevice(const QString& device);
    // Asks for an image file: one in a folder that exists is shown as "stdio:<path>".
    void chooseImageFile();

private:
    void fill(const QList<BurnerDevice>& burners);

    QComboBox* m_box;
    BurnerSearch* m_search;
};
