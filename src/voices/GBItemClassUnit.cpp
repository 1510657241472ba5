#include "GBItemClassUnit.h"

GBItemClass::GBItemClass(GBItemClass *parent, const QString &keyName) : Parent(parent), KeyName(keyName)
{
    if (!parent) {
        Path = QStringLiteral("/");
        Level = 0;
    } else {
        Path = (parent->Parent ? parent->Path : QString()) + QLatin1Char('/') + keyName;
        Level = parent->Level + 1;
    }
}

GBItemClass *GBItemClass::AddChild(const QString &keyName)
{
    Children.push_back(std::make_unique<GBItemClass>(this, keyName));
    return Children.back().get();
}

const GBItemClass *GBItemClass::FindPath(const QString &path) const
{
    // Iterative, so that a deeply nested file cannot exhaust the stack.
    std::vector<const GBItemClass *> pending{this};
    while (!pending.empty()) {
        const GBItemClass *item = pending.back();
        pending.pop_back();
        if (item->Path == path)
            return item;
        for (auto it = item->Children.rbegin(); it != item->Children.rend(); ++it)
            pending.push_back(it->get());
    }
    return nullptr;
}
