#include "app/window/form1.h"

// The selected picture: its thumbnail beside the value box, and the details
// window behind the button, Ctrl+I and the list's "Show Details".

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "app/window/detailspanel.h"
#include "app/window/picturedetailswindow.h"
#include "filelist/window/filelistview.h"
#include "writer/engine/writerengine.h"

void Form1::buildDetails()
{
    DetailsPanel::Controls controls{this, Frame2, ListView1, m_model, Combo1, Text1};
    m_details = new DetailsPanel(controls, *this, *m_batch, FileTimeoutMs, this);
    // In the keyboard's way through the window after the tag it belongs to.
    setTabOrder(Combo1, m_details->detailsButton());
}
