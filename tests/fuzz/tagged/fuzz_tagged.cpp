// Feeds arbitrary bytes to the tagged-file reader as file content and checks
// the tree it builds: paths and levels follow the nesting, every section is
// found again by its path, lookups and lists never fail.
#include "TaggedFile.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    TaggedFile g;
    g.LoadFromText(TaggedFile::JoinLines(TaggedFile::DecodeText(bytes)));
    if (g.Root->Path != QLatin1String("/") || g.Root->Level != 0 || g.Root->Parent)
        std::abort();

    std::vector<const TaggedSection *> pending{g.Root.get()};
    int sections = 0;
    while (!pending.empty()) {
        const TaggedSection *item = pending.back();
        pending.pop_back();
        ++sections;
        if (item->Level > TaggedFile::MaxDepth + 1)
            std::abort();
        if (item->Values.Names.size() != item->Values.Values.size())
            std::abort();
        const TaggedSection *found = g.Root->FindPath(item->Path);
        if (!found || found->Path != item->Path)
            std::abort();
        for (const QString &name : item->Values.Names) {
            // The first spelling of a name is the one stored; lookups ignore case.
            if (found == item && g.GetValue(item->Path, name) != item->Values.Get(name.toUpper()))
                std::abort();
            QStringList list;
            g.GetList(item->Path, name, list);
            if (list.size() > NameValueList::MaxListCount)
                std::abort();
        }
        for (const auto &child : item->Children) {
            if (child->Parent != item || child->Level != item->Level + 1)
                std::abort();
            const QString expected = (item->Parent ? item->Path : QString()) + QLatin1Char('/') + child->KeyName;
            if (child->Path != expected)
                std::abort();
            pending.push_back(child.get());
        }
    }
    if (sections < 1)
        std::abort();
    return 0;
}
