#include "Brkapart.h"

void TBrkApart::BreakApart()
{
    StringList.clear();
    qsizetype start = 0;
    for (;;) {
        const qsizetype p = BreakString.isEmpty() ? -1 : BaseString.indexOf(BreakString, start, Qt::CaseSensitive);
        const QString piece = BaseString.mid(start, p < 0 ? -1 : p - start);
        if (!piece.isEmpty() || AllowEmptyString)
            StringList.append(piece);
        if (p < 0)
            break;
        start = p + BreakString.size();
    }
}
