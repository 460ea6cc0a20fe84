#include "app/windows/qtprinter.h"

#include "core/filedialog.h"
#include "core/programnames.h"
#include "core/prompt.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace telviox {

QtPrinter::QtPrinter(Prompt &prompt, FileDialogs &dialogs, DefaultPrinterName defaultPrinter)
    : m_prompt(prompt), m_dialogs(dialogs), m_defaultPrinter(std::move(defaultPrinter))
{
    if (!m_defaultPrinter)
        m_defaultPrinter = [] { return QPrinterInfo::defaultPrinterName(); };
}

bool QtPrinter::render(QPrinter &printer, const QString &documentName, const QStringList &lines)
{
    printer.setDocName(documentName);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(9.0);
    painter.setFont(font);
    const QFontMetrics metrics(font, &printer);
    const int lineHeight = metrics.lineSpacing();
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int height = page.height();
    int y = metrics.ascent();
    for (const QString &line : lines) {
        if (y + metrics.descent() > height) {
            printer.newPage();
            y = metrics.ascent();
        }
        painter.drawText(0, y, line);
        y += lineHeight;
    }
    return painter.end();
}

bool QtPrinter::print(const QString &documentName, const QStringList &lines)
{
    const QString name = m_defaultPrinter();
    if (name.isEmpty())
        return saveAsPdf(documentName, lines);
    QPrinter printer(QPrinterInfo::printerInfo(name), QPrinter::HighResolution);
    if (!render(printer, documentName, lines)) {
        m_prompt.message(QStringLiteral("The printer ") + name +
                             QStringLiteral(" could not print the page !"),
                         BoxStyle::Critical | BoxStyle::Ok, ProgramTitle);
        return false;
    }
    return true;
}

bool QtPrinter::saveAsPdf(const QString &documentName, const QStringList &lines)
{
    if (m_prompt.message(QStringLiteral("No printer is installed.\r\nSave the page as a PDF file "
                                        "instead ?"),
                         BoxStyle::Question | BoxStyle::YesNo, ProgramTitle) != Answer::Yes)
        return false;
    const auto chosen = m_dialogs.getSaveFileName(QStringLiteral("Save the page as"),
                                                  QStringLiteral("PDF|*.pdf"), 1);
    if (!chosen || chosen->isEmpty())
        return false;
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    if (!render(printer, documentName, lines)) {
        m_prompt.message(QStringLiteral("The page could not be saved to ") + path +
                             QStringLiteral(" !"),
                         BoxStyle::Critical | BoxStyle::Ok, ProgramTitle);
        return false;
    }
    m_prompt.message(QStringLiteral("The page was saved to ") + path,
                     BoxStyle::Information | BoxStyle::Ok, ProgramTitle);
    return true;
}

} // namespace telviox
