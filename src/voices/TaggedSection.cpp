#include "TaggedSection.h"

TaggedSection::TaggedSection(TaggedSection *parent, const QString &keyName) : Parent(parent), KeyName(keyName)
{
    if (!parent) {
        Path = QStringLiteral("/");
        Level = 0;
    } else {
        Path = (parent->Parent ? parent->Path : QString()) + QLatin1Char('/') + keyName;
        Level = parent->Level + 1;
    }
}

TaggedSection *TaggedSection::AddChild(const QString &keyName)
{
    Children.push_back(std::make_unique<TaggedSection>(this, keyName));
    return Children.back().get();
}

const TaggedSection *TaggedSection::FindPath(const QString &path) const
{
    // Iterative, so that a deeply nested file cannot exhaust the stack.
    std::vector<const TaggedSection *> pending{this};
    while (!pending.empty()) {
        const TaggedSection *item = pending.back();
        pending.pop_back();
        if (item->Path == path)
            return item;
        for (auto it = item->Children.rbegin(); it != item->Children.rend(); ++it)
            pending.push_back(it->get());
    }
    return nullptr;
}
