#include "conversations/windows/settingwindow.h"

#include "device/catalogue.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <initializer_list>
#include <utility>

namespace telviox {

namespace {

template<typename W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

} // namespace

SettingWindow::~SettingWindow()
{
    // QDialog's destructor hides the dialog, which takes the focus from the
    // editable type box; the box then reports an activation to a window that
    // is no longer a SettingWindow.
    m_type->disconnect(this);
}

SettingWindow::SettingWindow(SettingServices services, QWidget *parent)
    : QDialog(parent), m_logic(std::move(services))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(ConversationSetting::caption());
    setModal(true);
    buildControls();
    m_logic.Form_Load();
    m_modules->addItems(m_logic.foundLines());
    showFields();
}

void SettingWindow::buildControls()
{
    auto *config = named(new QGroupBox(QStringLiteral("Configuration Setting"), this),
                         QStringLiteral("configFrame"));
    m_type = named(new QComboBox(config), QStringLiteral("form2typeCombo"));
    m_type->setEditable(true);
    m_type->setInsertPolicy(QComboBox::NoInsert);
    m_type->addItems(catalogue::settingList());
    m_type->setMaxVisibleItems(20);
    m_baud = named(new QComboBox(config), QStringLiteral("form2baudrateCombo"));
    m_baud->addItems(ConversationSetting::baudTexts());
    m_address = named(new QLineEdit(config), QStringLiteral("form2addressText"));
    m_checksum = named(new QComboBox(config), QStringLiteral("checksumCombo"));
    m_checksum->addItems(ConversationSetting::checksumTexts());
    m_slot = named(new QLineEdit(config), QStringLiteral("slotText"));

    auto *grid = new QGridLayout(config);
    const QStringList labels{QStringLiteral("Module Type:"), QStringLiteral("Baud Rate:"),
                             QStringLiteral("Address[Hex]:"), QStringLiteral("CheckSum:"),
                             QStringLiteral("Slot Number :")};
    const QList<QWidget *> fields{m_type, m_baud, m_address, m_checksum, m_slot};
    for (int row = 0; row < labels.size(); ++row) {
        auto *label = new QLabel(labels.at(row), config);
        label->setBuddy(fields.at(row));
        grid->addWidget(label, row, 0);
        grid->addWidget(fields.at(row), row, 1);
    }
    grid->setRowStretch(labels.size(), 1);

    auto *foundFrame = named(new QGroupBox(QStringLiteral("The Found Out Module:"), this),
                             QStringLiteral("foundFrame"));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_modules = named(new QListWidget(foundFrame), QStringLiteral("moduleList"));
    m_modules->setFont(fixed);
    // Column labels over the list's fixed-width fields: name at 0, address
    // at 6, rate at 16, remark at 26.
    const auto at = [](std::initializer_list<std::pair<int, const char *>> columns) {
        QString text;
        for (const auto &[column, label] : columns)
            text = text.leftJustified(column, QLatin1Char(' ')) + QLatin1String(label);
        return text;
    };
    auto *head1 =
        new QLabel(at({{0, "Module"}, {7, "Address:"}, {16, "Baud"}, {26, "Type:"}}), foundFrame);
    auto *head2 = new QLabel(at({{7, "Dec[Hex]"}, {16, "Rate"}, {26, "      Remark"}}),
                             foundFrame);
    head1->setObjectName(QStringLiteral("moduleHead"));
    head2->setObjectName(QStringLiteral("addressHead"));
    head1->setFont(fixed);
    head2->setFont(fixed);
    auto *foundLayout = new QVBoxLayout(foundFrame);
    foundLayout->setSpacing(0);
    foundLayout->addWidget(head1);
    foundLayout->addWidget(head2);
    foundLayout->addSpacing(4);
    foundLayout->addWidget(m_modules);
    const int width = QFontMetrics(fixed).horizontalAdvance(QString(45, QLatin1Char('0')));
    m_modules->setMinimumSize(width + 30, 220);

    auto *ok = named(new QPushButton(QStringLiteral("&OK"), this), QStringLiteral("form2okCmd"));
    auto *cancel = named(new QPushButton(QStringLiteral("&Cancel"), this),
                         QStringLiteral("form2CancelCmd"));
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);

    auto *top = new QHBoxLayout;
    top->addWidget(config);
    top->addWidget(foundFrame, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    SettingFields &f = m_logic.fields();
    connect(m_type, &QComboBox::activated, this, &SettingWindow::form2typeCombo_Click);
    connect(m_type, &QComboBox::editTextChanged, this,
            [&f](const QString &text) { f.typeText = text; });
    connect(m_baud, &QComboBox::currentIndexChanged, this, [this, &f](int entry) {
        f.baudEntry = entry;
        f.baudText = m_baud->currentText();
    });
    connect(m_checksum, &QComboBox::currentIndexChanged, this, [this, &f](int entry) {
        f.checksumEntry = entry;
        f.checksumText = m_checksum->currentText();
    });
    connect(m_address, &QLineEdit::textEdited, this,
            [&f](const QString &text) { f.addressText = text; });
    connect(m_slot, &QLineEdit::textEdited, this, [&f](const QString &text) { f.slotText = text; });
    connect(m_modules, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { m_logic.moduleList_Click(m_modules->row(item)); });
    connect(m_modules, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        m_logic.moduleList_Click(m_modules->row(item));
        m_logic.moduleList_DblClick();
        showFields();
    });
    connect(ok, &QPushButton::clicked, this, &SettingWindow::form2okCmd_Click);
    connect(cancel, &QPushButton::clicked, this, &SettingWindow::form2CancelCmd_Click);
}

void SettingWindow::showFields()
{
    const SettingFields &f = m_logic.fields();
    const QSignalBlocker typeBlock(m_type);
    const QSignalBlocker baudBlock(m_baud);
    const QSignalBlocker checksumBlock(m_checksum);
    m_type->setCurrentIndex(f.typeEntry);
    m_type->setEditText(f.typeText);
    m_baud->setCurrentIndex(f.baudEntry);
    m_checksum->setCurrentIndex(f.checksumEntry);
    m_address->setText(f.addressText);
    m_slot->setText(f.slotText);
}

void SettingWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The first activation may open a sub-dialog: after the window is up.
    QTimer::singleShot(0, this, [this] {
        m_logic.Form_Activate();
        showFields();
    });
}

void SettingWindow::form2typeCombo_Click(int entry)
{
    SettingFields &f = m_logic.fields();
    f.typeEntry = entry;
    f.typeText = m_type->itemText(entry);
    m_logic.form2typeCombo_Click(entry);
    showFields();
}

void SettingWindow::form2okCmd_Click()
{
    const bool close = m_logic.form2okCmd_Click();
    showFields();
    if (close) {
        m_closing = true;
        accept();
    }
}

void SettingWindow::form2CancelCmd_Click()
{
    if (m_logic.form2CancelCmd_Click()) {
        m_closing = true;
        QDialog::reject();
    }
}

void SettingWindow::reject()
{
    if (m_closing || m_logic.Form_QueryUnload(true)) {
        m_closing = true;
        QDialog::reject();
    }
}

void SettingWindow::closeEvent(QCloseEvent *event)
{
    if (m_closing || m_logic.Form_QueryUnload(true)) {
        m_closing = true;
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
}

} // namespace telviox
