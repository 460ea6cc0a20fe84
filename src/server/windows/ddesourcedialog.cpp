#include "ddesourcedialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace telviox {

namespace {

enum Column { ServiceColumn, TopicColumn, ItemColumn };

} // namespace

DdeSourceDialog::DdeSourceDialog(const QDBusConnection &connection, QWidget *parent)
    : QDialog(parent), m_connection(connection), m_tree(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("ddeSourceDialog"));
    setWindowTitle(tr("Choose a DDE source"));
    m_tree->setObjectName(QStringLiteral("sourceTree"));
    m_tree->setColumnCount(3);
    m_tree->setHeaderLabels({tr("Service"), tr("Topic"), tr("Item")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    auto *refreshButton = buttons->addButton(tr("&Refresh"), QDialogButtonBox::ActionRole);
    refreshButton->setObjectName(QStringLiteral("refreshCmd"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Items served on the session bus:"), this));
    layout->addWidget(m_tree);
    layout->addWidget(buttons);
    resize(520, 360);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(refreshButton, &QPushButton::clicked, this, &DdeSourceDialog::refresh);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &DdeSourceDialog::updateButtons);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (choice())
            accept();
    });
    updateButtons();
}

void DdeSourceDialog::setSources(const std::vector<DdeSource> &sources, const DdeSource &preselect)
{
    m_preselect = preselect;
    m_tree->clear();
    const QString wanted = preselect.items.value(0);
    for (const DdeSource &source : sources) {
        for (const QString &item : source.items) {
            auto *row = new QTreeWidgetItem(m_tree, {source.service, source.topic, item});
            if (source.service == preselect.service && source.topic == preselect.topic &&
                item == wanted)
                m_tree->setCurrentItem(row);
        }
    }
    if (m_tree->topLevelItemCount() == 0)
        new QTreeWidgetItem(m_tree, {tr("(no item server found)")});
    updateButtons();
}

void DdeSourceDialog::refresh()
{
    DdeSourceLister lister(m_connection);
    setSources(lister.list(), m_preselect);
}

std::optional<DdeSource> DdeSourceDialog::choice() const
{
    const QTreeWidgetItem *row = m_tree->currentItem();
    if (!row || !row->isSelected() || row->text(ItemColumn).isEmpty())
        return std::nullopt;
    return DdeSource{row->text(ServiceColumn), row->text(TopicColumn), {row->text(ItemColumn)}};
}

void DdeSourceDialog::updateButtons()
{
    m_ok->setEnabled(choice().has_value());
}

QPushButton *DdeSourceDialog::makeBrowseButton(QLineEdit *service, QLineEdit *topic,
                                               QLineEdit *item, QWidget *parent,
                                               const QDBusConnection &connection)
{
    auto *button = new QPushButton(tr("Browse\u2026"), parent);
    button->setObjectName(QStringLiteral("browseCmd"));
    // Enter in the boxes must not open the list.
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, parent, [=] {
        DdeSourceDialog dialog(connection, parent);
        dialog.m_preselect = {service->text(), topic->text(), {item->text()}};
        dialog.refresh();
        if (dialog.exec() != QDialog::Accepted)
            return;
        if (const auto chosen = dialog.choice()) {
            service->setText(chosen->service);
            topic->setText(chosen->topic);
            item->setText(chosen->items.constFirst());
        }
    });
    return button;
}

} // namespace telviox
