// The animation control over the map: play/pause between step backward
// and step forward.  It mirrors the main window's animation state; only a
// click on the play button emits play() or pause().  Its context menu
// sets the speed and whether the animation loops.
#ifndef SKYVANE_PLAYPANEL_H
#define SKYVANE_PLAYPANEL_H

#include <QWidget>

#include "ui_PlayPanel.h"

class QActionGroup;
class QMenu;

class PlayPanel : public QWidget {
    Q_OBJECT
public:
    explicit PlayPanel(QWidget* parent = nullptr);

    // Playing shows the pause icon and hides the step buttons.
    void setPlaying(bool playing, bool emitSignal);
    bool isPlaying() const { return playing; }
    // Ticks the speed and the loop option in the context menu.
    void showPace(int speed, bool loop);
    QMenu* paceMenu() const { return menu; }

    Ui_PlayPanel ui;

signals:
    void play();
    void pause();
    void forward();
    void backward();
    void speedChosen(int speed);
    void loopToggled(bool loop);

public slots:
    void playClicked();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void buildPaceMenu();

    bool playing = true;
    QMenu* menu = nullptr;
    QActionGroup* speeds = nullptr;
    QAction* loopAction = nullptr;
};

#endif
