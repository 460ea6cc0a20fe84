#include "app/windows/aboutbox.h"

#include "app/shell/programexit.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace telviox {

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About TELVIOXD..."));

    auto *layout = new QVBoxLayout(this);
    const QStringList lines = {productLine(), exeLine(), versionLine()};
    for (int i = 0; i < lines.size(); ++i) {
        auto *label = new QLabel(lines.at(i), this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label);
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setDefault(true);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QString AboutBox::productLine()
{
    return QStringLiteral("Product Name: TELVIOXD(DDE Server)");
}

QString AboutBox::exeLine()
{
    return QStringLiteral("EXE Name: ") + ProgramFileName + QStringLiteral(".EXE");
}

QString AboutBox::versionLine()
{
    return QStringLiteral("Version: ") + QStringLiteral(TELVIOXD_VERSION);
}

} // namespace telviox
