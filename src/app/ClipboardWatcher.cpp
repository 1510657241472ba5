#include "ClipboardWatcher.h"

#include "ReaderUnit.h"

ClipboardWatcher::ClipboardWatcher(TForm1 &form) : QObject(&form), m_form(form) {}

void ClipboardWatcher::Leave() {}
