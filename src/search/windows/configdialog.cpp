#include "search/windows/configdialog.h"

#include "conversations/sharedstate.h"
#include "conversations/windows/windowplacement.h"
#include "search/searchsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace telviox {

namespace {

constexpr int TiedBauds = int(search::SearchBaudTable.size());

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

const QColor &ConfigDialog::markedColour()
{
    static const QColor red(Qt::red);
    return red;
}

const QColor &ConfigDialog::plainColour()
{
    static const QColor black(Qt::black);
    return black;
}

ConfigDialog::ConfigDialog(SharedState &state, QWidget *parent) : QDialog(parent), m_state(state)
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Select the COM Port and Baud Rate..."));
    setModal(true);

    auto *frame1 = new QGroupBox(QStringLiteral("COM to search:"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    m_combo = new QComboBox(frame1);
    m_combo->setObjectName(QStringLiteral("Combo1"));
    m_combo->addItems(search::comPortEntries());
    (new QVBoxLayout(frame1))->addWidget(m_combo);

    auto *frame2 = new QGroupBox(QStringLiteral("Baud Rate to search:"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto *grid = new QGridLayout(frame2);
    for (int i = 0; i < int(m_bauds.size()); ++i) {
        // The twelfth box repeats the lowest rate's caption.
        const qint32 rate = search::SearchBaudTable[size_t(std::min(i, TiedBauds - 1))];
        auto *box = new QCheckBox(QString::number(rate), frame2);
        box->setObjectName(indexed("baudrateCheck", i));
        grid->addWidget(box, i % 6, i / 6);
        connect(box, &QCheckBox::clicked, this, &ConfigDialog::baudrateCheck_Click);
        m_bauds[size_t(i)] = box;
    }
    auto *command3 = button("Command3", QStringLiteral("&Select  All"), frame2);
    auto *command4 = button("Command4", QStringLiteral("Cl&ear"), frame2);
    grid->addWidget(command3, 6, 0);
    grid->addWidget(command4, 6, 1);
    connect(command3, &QPushButton::clicked, this, &ConfigDialog::Command3_Click);
    connect(command4, &QPushButton::clicked, this, &ConfigDialog::Command4_Click);

    auto *frame3 = new QGroupBox(QStringLiteral("To Search Checksum Enabled Module ? "), this);
    frame3->setObjectName(QStringLiteral("Frame3"));
    auto *options = new QHBoxLayout(frame3);
    const QString captions[] = {QStringLiteral("No"), QStringLiteral("Yes")};
    for (int i = 0; i < 2; ++i) {
        auto *option = new QRadioButton(captions[i], frame3);
        option->setObjectName(indexed("Option1", i));
        options->addWidget(option);
        connect(option, &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
        m_options[size_t(i)] = option;
    }

    auto *frame4 = new QGroupBox(QStringLiteral("Time Out Setting :"), this);
    frame4->setObjectName(QStringLiteral("Frame4"));
    auto *timeoutRow = new QHBoxLayout(frame4);
    // Shown only: the search uses fixed time-outs.
    m_timeout = new QLineEdit(QStringLiteral("400"), frame4);
    m_timeout->setObjectName(QStringLiteral("timeoutText"));
    timeoutRow->addWidget(m_timeout);
    timeoutRow->addWidget(new QLabel(QStringLiteral("ms"), frame4));

    auto *ok = button("okCmd", QStringLiteral("&OK"), this);
    auto *cancel = button("cancelCmd", QStringLiteral("&Cancel"), this);
    connect(ok, &QPushButton::clicked, this, &ConfigDialog::okCmd_Click);
    connect(cancel, &QPushButton::clicked, this, &ConfigDialog::cancelCmd_Click);

    auto *left = new QVBoxLayout;
    left->addWidget(frame1);
    left->addWidget(frame3);
    left->addWidget(frame4);
    left->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(frame2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    Form_Load();
}

void ConfigDialog::setCaptionColour(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::ButtonText, colour);
    widget->setPalette(p);
}

void ConfigDialog::Form_Load()
{
    adjustSize();
    centreOnScreen(*this);
    const search::SearchSettings s = search::SearchSettings::load(m_state);
    m_combo->setCurrentIndex(s.comIndex);
    for (int i = 0; i < TiedBauds; ++i) {
        m_bauds[size_t(i)]->setChecked(s.bauds[size_t(i)]);
        setCaptionColour(m_bauds[size_t(i)], s.bauds[size_t(i)] ? markedColour() : plainColour());
    }
    m_options[s.checksum ? 1 : 0]->setChecked(true);
}

void ConfigDialog::baudrateCheck_Click()
{
    for (int i = 0; i < TiedBauds; ++i) {
        QCheckBox *box = m_bauds[size_t(i)];
        setCaptionColour(box, box->isChecked() ? markedColour() : plainColour());
    }
}

void ConfigDialog::Command3_Click()
{
    for (int i = 0; i < TiedBauds; ++i)
        m_bauds[size_t(i)]->setChecked(true);
    baudrateCheck_Click();
}

void ConfigDialog::Command4_Click()
{
    for (int i = 0; i < TiedBauds; ++i)
        m_bauds[size_t(i)]->setChecked(false);
    baudrateCheck_Click();
}

void ConfigDialog::Option1_Click(int index)
{
    setCaptionColour(m_options[size_t(index)], markedColour());
    setCaptionColour(m_options[size_t(1 - index)], plainColour());
}

void ConfigDialog::okCmd_Click()
{
    search::SearchSettings s;
    s.comIndex = m_combo->currentIndex();
    for (int i = 0; i < TiedBauds; ++i)
        s.bauds[size_t(i)] = m_bauds[size_t(i)]->isChecked();
    s.checksum = !m_options[0]->isChecked();
    s.store(m_state);
    accept();
}

void ConfigDialog::cancelCmd_Click()
{
    reject();
}

} // namespace telviox
