#include "monitor/windows/linemonitorwindow.h"

#include "core/prompt.h"
#include "monitor/linemonitor.h"

#include <QCheckBox>
#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace telviox {

namespace {

// Colours the rows the model marks: failed exchanges and bad items red,
// device events blue.
class MarkedRows final : public QIdentityProxyModel
{
public:
    MarkedRows(int errorRole, int eventRole, QObject *parent)
        : QIdentityProxyModel(parent), m_errorRole(errorRole), m_eventRole(eventRole)
    {}

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::BackgroundRole) {
            if (QIdentityProxyModel::data(index, m_errorRole).toBool())
                return QColor(255, 210, 210);
            if (m_eventRole >= 0 && QIdentityProxyModel::data(index, m_eventRole).toBool())
                return QColor(210, 225, 255);
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    int m_errorRole;
    int m_eventRole;
};

QTableView *tableOf(QAbstractItemModel *model, const QString &name, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setObjectName(name);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAlternatingRowColors(false);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    // Fixed row heights: a hundred thousand rows must not be measured.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

LineMonitorWindow::LineMonitorWindow(LineMonitor &monitor, FileDialogs &dialogs, Prompt &prompt,
                                     QWidget *parent)
    : QWidget(parent, Qt::Window), m_monitor(monitor), m_dialogs(dialogs), m_prompt(prompt)
{
    setObjectName(QStringLiteral("frmLineMonitor"));
    setWindowTitle(QStringLiteral("Line Monitor"));
    TrafficModel &traffic = monitor.traffic();

    auto *addressLabel = new QLabel(QStringLiteral("&Address:"), this);
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("addressFilter"));
    m_address->setPlaceholderText(QStringLiteral("all (hex)"));
    m_address->setMaxLength(2);
    m_address->setFixedWidth(
        m_address->fontMetrics().horizontalAdvance(QStringLiteral("all (hex)")) + 16);
    addressLabel->setBuddy(m_address);
    m_errorsOnly = new QCheckBox(QStringLiteral("&Errors only"), this);
    m_errorsOnly->setObjectName(QStringLiteral("errorsOnly"));
    m_pause = new QPushButton(QStringLiteral("&Pause"), this);
    m_pause->setObjectName(QStringLiteral("pauseButton"));
    m_pause->setCheckable(true);
    auto *clear = new QPushButton(QStringLiteral("&Clear"), this);
    clear->setObjectName(QStringLiteral("clearButton"));
    auto *save = new QPushButton(QStringLiteral("&Save…"), this);
    save->setObjectName(QStringLiteral("saveButton"));
    m_log = new QPushButton(this);
    m_log->setObjectName(QStringLiteral("logButton"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("trafficCount"));

    auto *controls = new QHBoxLayout;
    controls->addWidget(addressLabel);
    controls->addWidget(m_address);
    controls->addWidget(m_errorsOnly);
    controls->addWidget(m_pause);
    controls->addWidget(clear);
    controls->addWidget(save);
    controls->addWidget(m_log);
    controls->addStretch(1);
    controls->addWidget(m_count);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    m_traffic = tableOf(new MarkedRows(TrafficModel::ErrorRole, TrafficModel::EventRole, this),
                        QStringLiteral("trafficView"), splitter);
    static_cast<QIdentityProxyModel *>(m_traffic->model())->setSourceModel(&traffic);
    m_diagnostics = tableOf(new MarkedRows(DiagnosticsModel::ErrorRole, -1, this),
                            QStringLiteral("diagnosticsView"), splitter);
    static_cast<QIdentityProxyModel *>(m_diagnostics->model())
        ->setSourceModel(&monitor.diagnostics());
    splitter->addWidget(m_traffic);
    splitter->addWidget(m_diagnostics);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    const QFontMetrics metrics = fontMetrics();
    const auto width = [&metrics](const char *sample) {
        return metrics.horizontalAdvance(QLatin1String(sample)) + 12;
    };
    const std::pair<int, const char *> trafficWidths[] = {
        {TrafficModel::Time, "00:00:00.000"},
        {TrafficModel::Port, "COM10"},
        {TrafficModel::Device, "/dev/ttyUSB0 ports/com1"},
        {TrafficModel::Rate, "115200"},
        {TrafficModel::Checksum, "Checksum"},
        {TrafficModel::Direction, "received"},
        {TrafficModel::Frame, "$01M<CR>!012026D<CR>"},
        {TrafficModel::Code, "Code"},
        {TrafficModel::Result, "Time out error"},
        {TrafficModel::Ms, "10000"}};
    for (const auto &[column, sample] : trafficWidths)
        m_traffic->setColumnWidth(column, width(sample));
    m_diagnostics->resizeColumnsToContents();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(splitter, 1);

    connect(m_address, &QLineEdit::textChanged, this, [this, &traffic](const QString &text) {
        const bool valid = traffic.setAddressFilter(text);
        QPalette palette = m_address->palette();
        palette.setColor(QPalette::Base,
                         valid ? QPalette().color(QPalette::Base) : QColor(255, 210, 210));
        m_address->setPalette(palette);
    });
    connect(m_errorsOnly, &QCheckBox::toggled, &traffic, &TrafficModel::setErrorsOnly);
    connect(m_pause, &QPushButton::toggled, this, [this, &traffic](bool paused) {
        traffic.setPaused(paused);
        updateCount();
    });
    connect(clear, &QPushButton::clicked, &traffic, &TrafficModel::clear);
    connect(save, &QPushButton::clicked, this,
            [this, &traffic] { saveTrafficAs(traffic, m_dialogs, m_prompt); });
    connect(m_log, &QPushButton::clicked, this, &LineMonitorWindow::logClicked);

    ItemCsvLogger &logger = monitor.itemLogger();
    connect(&logger, &ItemCsvLogger::loggingChanged, this, &LineMonitorWindow::updateLogButton);
    // Reported after the tick that failed, not in the middle of it.
    connect(
        &logger, &ItemCsvLogger::failed, this,
        [this](const QString &message) {
            m_prompt.message(message, BoxStyle::Exclamation, QStringLiteral("Line Monitor"));
        },
        Qt::QueuedConnection);
    updateLogButton(logger.isLogging());

    // The table follows the newest line while the operator has not scrolled away.
    connect(&traffic, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = m_traffic->verticalScrollBar();
        m_followEnd = bar->value() == bar->maximum();
    });
    connect(&traffic, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_followEnd)
            m_traffic->scrollToBottom();
    });
    connect(&traffic, &TrafficModel::refreshed, this, &LineMonitorWindow::updateCount);
    connect(&traffic, &QAbstractItemModel::modelReset, this, &LineMonitorWindow::updateCount);
    updateCount();
    m_traffic->scrollToBottom();

    resize(1200, 560);
}

void LineMonitorWindow::updateCount()
{
    const TrafficModel &traffic = m_monitor.traffic();
    QString text = QStringLiteral("%1 lines").arg(traffic.rowCount());
    if (traffic.isPaused())
        text += QStringLiteral(", paused: %1 new").arg(traffic.arrivedWhilePaused());
    m_count->setText(text);
}

void LineMonitorWindow::updateLogButton(bool logging)
{
    m_log->setText(logging ? QStringLiteral("Stop &logging")
                           : QStringLiteral("&Log items to CSV…"));
    m_log->setToolTip(logging ? m_monitor.itemLogger().path() : QString());
}

void LineMonitorWindow::logClicked()
{
    ItemCsvLogger &logger = m_monitor.itemLogger();
    if (logger.isLogging())
        logger.stop();
    else
        logItemsToCsv(logger, m_dialogs, m_prompt);
}

} // namespace telviox
