#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Kind codes of a tagged value: those of the OLE Automation variant, plus the
// string kind of the settings store.
enum TVarKind : uint16_t {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2,
    varInteger = 3,
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7,
    varBoolean = 11,
    varString = 0x0100,
};

// A settings value: a kind code plus its payload. Numbers keep the 8-byte
// payload of the variant record, so single, double, currency and date values
// round-trip through the store as the 16-byte record unchanged.
class TaggedValue {
public:
    static constexpr int kRecordSize = 16;

    TaggedValue() = default; // empty
    TaggedValue(const QString &text);
    TaggedValue(const char *text);

    static TaggedValue null();
    static TaggedValue fromSmallint(int16_t value);
    static TaggedValue fromInteger(int32_t value);
    static TaggedValue fromBoolean(bool value);
    static TaggedValue fromSingle(float value);
    static TaggedValue fromDouble(double value);
    // Currency is a count of ten-thousandths.
    static TaggedValue fromCurrency(int64_t tenThousandths);
    // Days since 1899-12-30, as OLE dates count.
    static TaggedValue fromDate(double days);

    // The 16-byte record: kind (little-endian), 6 reserved bytes, payload.
    // Only the kinds that are stored this way (single, double, currency, date)
    // are taken from a record; anything else gives an empty value.
    static TaggedValue fromRecord(const QByteArray &record);
    QByteArray toRecord() const;

    uint16_t kind() const { return valueKind; }
    bool isEmpty() const { return valueKind == varEmpty; }
    bool isNull() const { return valueKind == varNull; }

    // Conversions in the spirit of the variant: empty and null give "" or 0.
    QString toString() const;
    int32_t toInteger() const;
    double toDouble() const;
    int64_t currencyValue() const;

    bool operator==(const TaggedValue &other) const;
    bool operator!=(const TaggedValue &other) const { return !(*this == other); }

private:
    template <typename T> static TaggedValue withPayload(uint16_t kind, T value);
    template <typename T> T payloadAs() const;

    uint16_t valueKind = varEmpty;
    unsigned char payload[8] = {};
    QString text;
};
