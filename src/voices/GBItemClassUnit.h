#pragma once
// One section of a tagged text file: its name, its path from the root, the
// name/value pairs it holds and its sub-sections.

#include "NVListClassUnit.h"

#include <QString>

#include <memory>
#include <vector>

class GBItemClass
{
public:
    // The root has no parent, an empty name and the path "/".
    GBItemClass(GBItemClass *parent, const QString &keyName);

    GBItemClass *Parent = nullptr;
    QString KeyName;
    QString Path;
    QString Text;  // the raw text the section was parsed from
    std::vector<std::unique_ptr<GBItemClass>> Children;
    NVListClass Values;
    int32_t Level = 0;

    GBItemClass *AddChild(const QString &keyName);

    // This section or the first one below it, depth first in list order,
    // whose Path equals path exactly; nullptr when there is none.
    const GBItemClass *FindPath(const QString &path) const;
};
