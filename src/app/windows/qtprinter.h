#pragma once

#include "core/printer.h"

#include <functional>

class QPrinter;

namespace telviox {

class FileDialogs;
class Prompt;

// The default printer on QPrinter. Where the system has no printer, the same
// page can be saved as a PDF file the operator chooses.
class QtPrinter final : public Printer
{
public:
    // The name of the system's default printer, empty when there is none.
    using DefaultPrinterName = std::function<QString()>;

    QtPrinter(Prompt &prompt, FileDialogs &dialogs, DefaultPrinterName defaultPrinter = {});

    bool print(const QString &documentName, const QStringList &lines) override;

    // Lays the lines out on the printer's pages in a fixed-pitch font; false
    // when the printer (or its file) could not be opened.
    static bool render(QPrinter &printer, const QString &documentName, const QStringList &lines);

private:
    bool saveAsPdf(const QString &documentName, const QStringList &lines);

    Prompt &m_prompt;
    FileDialogs &m_dialogs;
    DefaultPrinterName m_defaultPrinter;
};

} // namespace telviox
