#pragma once

#include "server/ddesourcelister.h"

#include <QDialog>
#include <optional>
#include <vector>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace telviox {

// Lists the item servers on the bus as service, topic and item, and hands
// back the item chosen. Nothing is chosen until an item is selected.
class DdeSourceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DdeSourceDialog(const QDBusConnection &connection, QWidget *parent = nullptr);

    // Shows the given sources; the one matching preselect is selected.
    void setSources(const std::vector<DdeSource> &sources, const DdeSource &preselect = {});
    // Lists the bus again.
    void refresh();
    // Service, topic and one item in items, or nothing.
    std::optional<DdeSource> choice() const;

    // A "Browse…" button that opens the dialog and, on OK, writes the chosen
    // service, topic and item into the three boxes, which stay editable.
    static QPushButton *
    makeBrowseButton(QLineEdit *service, QLineEdit *topic, QLineEdit *item, QWidget *parent,
                     const QDBusConnection &connection = QDBusConnection::sessionBus());

private:
    void updateButtons();

    QDBusConnection m_connection;
    QTreeWidget *m_tree;
    QPushButton *m_ok = nullptr;
    DdeSource m_preselect;
};

} // namespace telviox
