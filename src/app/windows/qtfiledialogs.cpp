#include "app/windows/qtfiledialogs.h"

#include <QApplication>
#include <QFileDialog>

namespace telviox {

QtFileDialogs::QtFileDialogs(QWidget *parent) : m_parent(parent) {}

void QtFileDialogs::applyFilter(QFileDialog &dialog, const QString &filter, int filterIndex)
{
    const QStringList filters = nameFiltersOf(filter);
    dialog.setNameFilters(filters);
    if (filterIndex >= 1 && filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(filterIndex - 1));
}

std::optional<QString> QtFileDialogs::run(QFileDialog &dialog)
{
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtFileDialogs::getOpenFileName(const QString &caption, const QString &filter,
                                                      int filterIndex)
{
    QFileDialog dialog(m_parent ? m_parent : QApplication::activeWindow(), caption);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    applyFilter(dialog, filter, filterIndex);
    return run(dialog);
}

std::optional<QString> QtFileDialogs::getSaveFileName(const QString &caption, const QString &filter,
                                                      int filterIndex)
{
    QFileDialog dialog(m_parent ? m_parent : QApplication::activeWindow(), caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The save command asks about an existing file itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    applyFilter(dialog, filter, filterIndex);
    return run(dialog);
}

} // namespace telviox
