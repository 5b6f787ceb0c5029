#include "app/window/form1.h"

// How the window reads on any desktop, to screen readers and from the
// keyboard.

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>

#include "app/window/frameontop.h"
#include "filelist/window/filelistview.h"

namespace {

// Return and Enter press a focused button as Space does; outside a dialog a
// push button leaves them to its parent. A held key presses once.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        if (!key->isAutoRepeat())
            static_cast<QPushButton *>(watched)->click();
        return true;
    }
};

} // namespace

void Form1::useLightPalette()
{
    // The window is white whatever the desktop's colours, so everything on it
    // takes its colours from one light palette: a dark desktop's light text
    // would vanish on the white. Fusion's palette is complete (disabled text,
    // selection, placeholder) and the same on every system.
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette light = fusion ? fusion->standardPalette() : QPalette(Qt::lightGray, Qt::white);
    light.setColor(QPalette::Window, Qt::white);
    setPalette(light);
    setAutoFillBackground(true);
}

void Form1::nameControlsForAssistiveTools()
{
    // A screen reader names a field after its label, and a control without
    // one after its text or the frame around it, which says nothing here.
    Label10->setBuddy(Combo1);
    Label12->setBuddy(Text1);
    Combo1->setAccessibleName(QStringLiteral("Tag"));
    Text1->setAccessibleName(QStringLiteral("Value"));
    ListView1->setAccessibleName(QStringLiteral("Files to tag"));
    Text2->setAccessibleName(QStringLiteral("Results folder"));
    Text2->setAccessibleDescription(Frame1->title());
    PushButton6->setAccessibleName(QStringLiteral("Choose Results Folder…"));
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
}

void Form1::pressButtonsWithEnter()
{
    auto *enter = new EnterPressesButton(this);
    for (QPushButton *button : findChildren<QPushButton *>())
        button->installEventFilter(enter);
}

void Form1::keepFramesWhole()
{
    new FrameOnTop(ListView1);
    new FrameOnTop(Text1);
}
