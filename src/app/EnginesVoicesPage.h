#pragma once
// The Engines / Voices page: the tree of engine groups and voices, its
// buttons and menu, and the voice editor.

#include <QObject>

class TForm1;

class EnginesVoicesPage : public QObject
{
    Q_OBJECT
public:
    explicit EnginesVoicesPage(TForm1 &form);

private:
    TForm1 &m_form;
};
