#pragma once

#include <QWidget>

class QLabel;

namespace telviox {

// The splash window ("frmSplash", "TELVIOXD Software"): one picture, sized to
// it and centred on the screen. A mouse press on it cuts the start-up probe
// short.
class SplashWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SplashWindow(QWidget *parent = nullptr);

    // Whether a button was pressed since the last call.
    bool takeMousePress();

    // The picture, drawn here so nothing has to ship for it.
    static QPixmap picture();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *m_picture;
    bool m_pressed = false;
};

} // namespace telviox
