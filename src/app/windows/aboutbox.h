#pragma once

#include <QDialog>

namespace telviox {

// "About TELVIOXD...": product, program file and version; Command1 closes it.
class AboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit AboutBox(QWidget *parent = nullptr);

    static QString productLine();
    static QString exeLine();
    static QString versionLine();
};

} // namespace telviox
