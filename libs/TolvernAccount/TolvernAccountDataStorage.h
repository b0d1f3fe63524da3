#pragma once

#include "TolvernDecodingError.h"
#include "TolvernJSON.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Where the library keeps what must outlive the process: small byte items named by
// a key. The JSON helpers run values through the library's shared coding.
class TolvernAccountDataStorage
{
public:
    virtual ~TolvernAccountDataStorage() = default;

    // Throws TolvernError::keychainFailure when the item cannot be written.
    virtual void setData(const QByteArray &data, const QString &key) = 0;
    // Absent when the item is missing or cannot be read, whatever the reason.
    virtual std::optional<QByteArray> getData(const QString &key) = 0;
    // Best effort; a missing item is no failure and no failure is reported.
    virtual void deleteData(const QString &key) = 0;

    // Absent when the item is missing, unreadable or does not decode as T; the
    // item is left as it is.
    template<class T>
    std::optional<T> getJSON(const QString &key)
    {
        const std::optional<QByteArray> data = getData(key);
        if (!data)
            return std::nullopt;
        try {
            return TolvernJSON::decode<T>(*data);
        } catch (const TolvernDecodingError &) {
            return std::nullopt;
        }
    }

    template<class T>
    void setJSON(const T &value, const QString &key)
    {
        setData(TolvernJSON::encode(value), key);
    }
};
