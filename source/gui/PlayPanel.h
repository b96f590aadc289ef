// The animation control over the map: play/pause between step backward
// and step forward.  It mirrors the main window's animation state; only a
// click on the play button emits play() or pause().
#ifndef SKYVANE_PLAYPANEL_H
#define SKYVANE_PLAYPANEL_H

#include <QWidget>

#include "ui_PlayPanel.h"

class PlayPanel : public QWidget {
    Q_OBJECT
public:
    explicit PlayPanel(QWidget* parent = nullptr);

    // Playing shows the pause icon and hides the step buttons.
    void setPlaying(bool playing, bool emitSignal);
    bool isPlaying() const { return playing; }

    Ui_PlayPanel ui;

signals:
    void play();
    void pause();
    void forward();
    void backward();

public slots:
    void playClicked();

private:
    bool playing = true;
};

#endif
