#include "app/window/form1.h"

// The selected picture: its thumbnail beside the value box, and the details
// window behind the button, Ctrl+I and the list's "Show Details".

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "app/window/detailspanel.h"
#include "app/window/picturedetailswindow.h"
#include "app/window/valuechoice.h"
#include "filelist/filelistmodel.h"
#include "filelist/window/filelistview.h"
#include "writer/engine/writerengine.h"

void Form1::buildDetails()
{
    m_values = new ValueChoice(Frame2, Combo1, m_model, *m_dialogs, this);
    DetailsPanel::Controls controls{this, Frame2, ListView1, m_model, Combo1, Text1, m_values->wayBox()};
    m_details = new DetailsPanel(controls, *this, *m_batch, FileTimeoutMs, this);
    // In the keyboard's way through the window after the tag they belong to.
    setTabOrder(Combo1, m_details->detailsButton());
    setTabOrder(m_details->detailsButton(), m_values->wayBox());
    setTabOrder(m_values->wayBox(), m_values->loadButton());
}

QString Form1::valueWay() const
{
    return m_values->way();
}

bool Form1::hasOwnValues() const
{
    return m_model->hasOwnValues();
}

std::optional<QString> Form1::entryValue(int position) const
{
    return m_model->entryValue(position);
}
