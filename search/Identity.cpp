#include "search/Identity.h"

#include <cstdio>

Text PlaceText(const ProcessIdentity& identity) {
    if (!identity.container.runtime.empty())
        return identity.container.runtime + ":" + identity.container.id.substr(0, 12);
    if (identity.unit.empty()) {
        Text services;
        for (const Text& service : identity.services) services += (services.empty() ? "" : ",") + service;
        return services;
    }
    return identity.userUnit ? "user:" + identity.unit : identity.unit;
}

std::string IsoTime(int64_t ms) {
    if (ms == ProcessIdentity::kUnknown) return std::string();
    // Days to a civil date, by the proleptic Gregorian calendar, with no
    // time zone of the system's in the way.
    const int64_t millis = (ms % 1000 + 1000) % 1000;
    const int64_t seconds = (ms - millis) / 1000;
    const int64_t secondOfDay = (seconds % 86400 + 86400) % 86400;
    const int64_t days = (seconds - secondOfDay) / 86400 + 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const int64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(secondOfDay / 3600), static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60), static_cast<long long>(millis));
    return text;
}
