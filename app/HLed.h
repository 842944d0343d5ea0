#pragma once

#include <QColor>
#include <QWidget>

class QPainter;
class QPen;

// A small round lamp that shows a state by its colour: a filled disc, a lighter highlight
// spot and a shaded ring, all painted, no images.
class HLed : public QWidget
{
    Q_OBJECT

public:
    explicit HLed(QWidget *parent = nullptr);
    ~HLed() override;

    QColor color() const;
    bool isOn() const;

public slots:
    void setColor(QColor color);
    void toggle();
    void turnOn(bool on = true);
    void turnOff(bool off = true);

protected:
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    void paintEvent(QPaintEvent *event) override;

private:
    void paintRing(QPainter &painter, QPen &pen, int diameter) const;

    struct Private;
    Private *d;
};
