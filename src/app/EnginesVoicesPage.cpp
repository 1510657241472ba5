#include "EnginesVoicesPage.h"

#include "ReaderUnit.h"

EnginesVoicesPage::EnginesVoicesPage(TForm1 &form) : QObject(&form), m_form(form) {}
