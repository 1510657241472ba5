#pragma once
// A record of named, typed settings with defaults, loaded from and saved to
// the settings store, plus window placement for any top-level widget.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <vector>

class QRect;

enum TItemKind : uint8_t { ikInteger = 0, ikReal = 1, ikBoolean = 2, ikString = 3, ikList = 4 };

// One setting: a value named Name, stored as text under the record's key.
// Text that does not convert to the item's kind counts as absent: the
// default applies.
class BaseRegClass
{
public:
    BaseRegClass(const QString &name, uint8_t location) : Name(name), Location(location) {}
    virtual ~BaseRegClass() = default;

    QString Name;      // value name; lookups ignore letter case
    uint8_t Location;  // 0: directly under "Software\VarnyxTech"; else under the record's Section

    virtual void SetAsString(const QString &text) = 0;
    virtual QString GetAsString() const = 0;
    virtual QString GetDefaultAsString() const = 0;
    virtual QVariant GetAsVariant() const = 0;
    virtual void SetAsVariant(const QVariant &value) = 0;  // unconvertible values change nothing
    virtual TItemKind ItemKind() const = 0;
};

class regInt : public BaseRegClass
{
public:
    regInt(const QString &name, uint8_t location, int32_t defaultValue);
    int32_t Value = 0;
    int32_t Default;
    void SetAsString(const QString &text) override;
    QString GetAsString() const override;
    QString GetDefaultAsString() const override;
    QVariant GetAsVariant() const override;
    void SetAsVariant(const QVariant &value) override;
    TItemKind ItemKind() const override { return ikInteger; }
};

class regReal : public BaseRegClass
{
public:
    regReal(const QString &name, uint8_t location, double defaultValue);
    double Value = 0.0;
    double Default;
    void SetAsString(const QString &text) override;
    QString GetAsString() const override;
    QString GetDefaultAsString() const override;
    QVariant GetAsVariant() const override;
    void SetAsVariant(const QVariant &value) override;
    TItemKind ItemKind() const override { return ikReal; }
};

class regBool : public BaseRegClass
{
public:
    regBool(const QString &name, uint8_t location, bool defaultValue);
    bool Value = false;
    bool Default;
    // True exactly when the text is "true" in any letter case.
    void SetAsString(const QString &text) override;
    QString GetAsString() const override;
    QString GetDefaultAsString() const override;
    QVariant GetAsVariant() const override;
    void SetAsVariant(const QVariant &value) override;
    TItemKind ItemKind() const override { return ikBoolean; }
};

class regString : public BaseRegClass
{
public:
    regString(const QString &name, uint8_t location, const QString &defaultValue);
    QString Value;
    QString Default;
    void SetAsString(const QString &text) override;
    QString GetAsString() const override;
    QString GetDefaultAsString() const override;
    QVariant GetAsVariant() const override;
    void SetAsVariant(const QVariant &value) override;
    TItemKind ItemKind() const override { return ikString; }
};

// Stored as one text: every entry in double quotes ("" inside), separated by
// commas, e.g. "one","two ""quoted""".
class regList : public BaseRegClass
{
public:
    regList(const QString &name, uint8_t location, const QStringList &defaultValue);
    QStringList Value;
    QStringList Default;
    void SetAsString(const QString &text) override;
    QString GetAsString() const override;
    QString GetDefaultAsString() const override;
    QVariant GetAsVariant() const override;
    void SetAsVariant(const QVariant &value) override;
    TItemKind ItemKind() const override { return ikList; }

    static QString ToText(const QStringList &list);
    static bool FromText(const QString &text, QStringList &list);
};

class SettingsRecord
{
public:
    static const QString BaseKey;            // "Software\VarnyxTech"
    static const QString WindowsKey;         // "Software\VarnyxTech\Windows"
    static const QString NoSuchItemMessage;  // "No such registry item as name between equals ="

    SettingsRecord() = default;
    virtual ~SettingsRecord() = default;
    SettingsRecord(const SettingsRecord &) = delete;
    SettingsRecord &operator=(const SettingsRecord &) = delete;

    std::vector<std::unique_ptr<BaseRegClass>> Items;  // in registration order
    QString Section = QStringLiteral("change this");

    virtual QString Version() const { return QStringLiteral("0.0"); }

    // Appends an item; names are not checked for duplicates. The default is
    // converted to the kind's type.
    BaseRegClass *AddItem(const QString &name, uint8_t location, const QVariant &defaultValue, TItemKind kind);

    // The first item with that name ignoring letter case; an unknown name
    // shows "No such registry item as name between equals =<name>=" and gives nullptr.
    BaseRegClass *FindItem(const QString &name) const;

    // GetAsVariant of the item; an invalid QVariant for an unknown name.
    QVariant GetValue(const QString &name) const;
    // SetAsVariant on the item; an unknown name changes nothing.
    void SetValue(const QString &name, const QVariant &value);

    // The store key of an item: BaseKey, or BaseKey + "\" + Section.
    QString ItemKey(const BaseRegClass &item) const;

    // Every item from the store; absent or unconvertible values give defaults.
    void LoadFromRegistry();
    // Every item into the store in one atomic write. False (and a log line)
    // when the store could not be written; the previous file is then whole
    // and error, when given, says why.
    bool SaveToRegistry(QString *error = nullptr);

    // Window placement under "Software\VarnyxTech\Windows\<program>\<objectName>".
    static QString PlacementKey(const QString &formName);
    // A maximized window saves only that flag: its normal bounds stay as an
    // earlier save left them.
    static bool SaveWindowPlacement(const QString &formName, const QRect &bounds, bool maximized);
    // The stored normal bounds, fitted to the screen they are on, and the
    // maximized flag; false (nothing set) when no usable size is stored.
    static bool LoadWindowPlacement(const QString &formName, QRect &bounds, bool &maximized);
};
