#pragma once
// One section of a tagged text file: its name, its path from the root, the
// name/value pairs it holds and its sub-sections.

#include "NameValueList.h"

#include <QString>

#include <memory>
#include <vector>

class TaggedSection
{
public:
    // The root has no parent, an empty name and the path "/".
    TaggedSection(TaggedSection *parent, const QString &keyName);

    TaggedSection *Parent = nullptr;
    QString KeyName;
    QString Path;
    QString Text;  // the raw text the section was parsed from
    std::vector<std::unique_ptr<TaggedSection>> Children;
    NameValueList Values;
    int32_t Level = 0;

    TaggedSection *AddChild(const QString &keyName);

    // This section or the first one below it, depth first in list order,
    // whose Path equals path exactly; nullptr when there is none.
    const TaggedSection *FindPath(const QString &path) const;
};
