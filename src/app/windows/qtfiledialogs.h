#pragma once

#include "core/filedialog.h"

class QFileDialog;
class QWidget;

namespace telviox {

// The common file dialogs on QFileDialog ("CommonDialog1"): the filter's
// name/pattern pairs, the preselected pair, and Cancel as no answer.
class QtFileDialogs final : public FileDialogs
{
public:
    // parent: the window the dialog belongs to; the active window when null.
    explicit QtFileDialogs(QWidget *parent = nullptr);

    std::optional<QString> getOpenFileName(const QString &caption, const QString &filter,
                                           int filterIndex) override;
    std::optional<QString> getSaveFileName(const QString &caption, const QString &filter,
                                           int filterIndex) override;

    // Gives a dialog the filters and the preselected one (filterIndex from 1).
    static void applyFilter(QFileDialog &dialog, const QString &filter, int filterIndex);

private:
    std::optional<QString> run(QFileDialog &dialog);

    QWidget *m_parent;
};

} // namespace telviox
