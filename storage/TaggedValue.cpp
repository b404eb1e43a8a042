#include "storage/TaggedValue.h"

#include <QtEndian>

#include <cstring>

template <typename T> TaggedValue TaggedValue::withPayload(uint16_t kind, T value)
{
    static_assert(sizeof(T) <= sizeof(payload));
    TaggedValue v;
    v.valueKind = kind;
    qToLittleEndian(value, v.payload);
    return v;
}

template <typename T> T TaggedValue::payloadAs() const
{
    return qFromLittleEndian<T>(payload);
}

TaggedValue::TaggedValue(const QString &value) : valueKind(varString), text(value) { }

TaggedValue::TaggedValue(const char *value) : TaggedValue(QString::fromUtf8(value)) { }

TaggedValue TaggedValue::null()
{
    TaggedValue v;
    v.valueKind = varNull;
    return v;
}

TaggedValue TaggedValue::fromSmallint(int16_t value)
{
    return withPayload(varSmallint, value);
}

TaggedValue TaggedValue::fromInteger(int32_t value)
{
    return withPayload(varInteger, value);
}

TaggedValue TaggedValue::fromBoolean(bool value)
{
    // The variant's true is all bits set.
    return withPayload(varBoolean, int16_t(value ? -1 : 0));
}

TaggedValue TaggedValue::fromSingle(float value)
{
    return withPayload(varSingle, value);
}

TaggedValue TaggedValue::fromDouble(double value)
{
    return withPayload(varDouble, value);
}

TaggedValue TaggedValue::fromCurrency(int64_t tenThousandths)
{
    return withPayload(varCurrency, tenThousandths);
}

TaggedValue TaggedValue::fromDate(double days)
{
    return withPayload(varDate, days);
}

TaggedValue TaggedValue::fromRecord(const QByteArray &record)
{
    if (record.size() != kRecordSize)
        return {};
    const uint16_t kind = qFromLittleEndian<uint16_t>(record.constData());
    // Other kinds carry pointers or nothing in their payload: never trusted.
    if (kind != varSingle && kind != varDouble && kind != varCurrency && kind != varDate)
        return {};
    TaggedValue v;
    v.valueKind = kind;
    std::memcpy(v.payload, record.constData() + 8, sizeof v.payload);
    return v;
}

QByteArray TaggedValue::toRecord() const
{
    QByteArray record(kRecordSize, '\0');
    qToLittleEndian(valueKind, record.data());
    std::memcpy(record.data() + 8, payload, sizeof payload);
    return record;
}

QString TaggedValue::toString() const
{
    switch (valueKind) {
    case varString:
        return text;
    case varSmallint:
    case varInteger:
    case varBoolean:
        return QString::number(toInteger());
    case varCurrency:
        return QString::number(double(currencyValue()) / 10000.0);
    case varSingle:
    case varDouble:
    case varDate:
        return QString::number(toDouble());
    default:
        return QString();
    }
}

int32_t TaggedValue::toInteger() const
{
    switch (valueKind) {
    case varSmallint:
    case varBoolean:
        return payloadAs<int16_t>();
    case varInteger:
        return payloadAs<int32_t>();
    case varString:
        return text.toInt();
    case varSingle:
    case varDouble:
    case varDate:
    case varCurrency:
        return int32_t(toDouble());
    default:
        return 0;
    }
}

double TaggedValue::toDouble() const
{
    switch (valueKind) {
    case varSingle:
        return payloadAs<float>();
    case varDouble:
    case varDate:
        return payloadAs<double>();
    case varCurrency:
        return double(currencyValue()) / 10000.0;
    case varString:
        return text.toDouble();
    default:
        return toInteger();
    }
}

int64_t TaggedValue::currencyValue() const
{
    return valueKind == varCurrency ? payloadAs<int64_t>() : int64_t(toDouble() * 10000.0);
}

bool TaggedValue::operator==(const TaggedValue &other) const
{
    return valueKind == other.valueKind && text == other.text
        && std::memcmp(payload, other.payload, sizeof payload) == 0;
}
