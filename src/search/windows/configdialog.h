#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace telviox {

struct SharedState;

// The search settings dialog ("frmConfig"): the port, the rates and the
// checksum option the search uses. It shows the shared settings when it opens
// and writes them back only on OK.
class ConfigDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit ConfigDialog(SharedState &state, QWidget *parent = nullptr);

    // Red for a checked box or the chosen option, black for the others.
    static const QColor &markedColour();
    static const QColor &plainColour();

    void okCmd_Click();
    void cancelCmd_Click();
    void Command3_Click();
    void Command4_Click();

private:
    void Form_Load();
    void baudrateCheck_Click();
    void Option1_Click(int index);
    static void setCaptionColour(QWidget *widget, const QColor &colour);

    SharedState &m_state;
    QComboBox *m_combo = nullptr;
    // Twelve boxes: the first eleven are the search's rates, the last is
    // shown but tied to nothing.
    std::array<QCheckBox *, 12> m_bauds{};
    std::array<QRadioButton *, 2> m_options{};
    QLineEdit *m_timeout = nullptr;
};

} // namespace telviox
