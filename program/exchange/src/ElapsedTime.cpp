// The Russian phrase for a duration, with the endings that the numbers take.
#include "KvExchangeUtils.h"

namespace {

// Ending of "минут"/"секунд" after n.
const wchar_t* MinuteEnding(int n) {
    if ((n >= 5 && n <= 20) || n % 10 == 0)
        return L"";
    switch (n % 10) {
    case 1:
        return L"у";
    case 2:
    case 3:
    case 4:
        return L"ы";
    default:
        return L"";
    }
}

// Ending of "час" after n.
const wchar_t* HourEnding(int n) {
    if ((n >= 5 && n <= 20) || n % 10 == 0)
        return L"ов";
    switch (n % 10) {
    case 1:
        return L"";
    case 2:
    case 3:
    case 4:
        return L"а";
    default:
        return L"ов";
    }
}

} // namespace

void FormatElapsedTime(int seconds, wchar_t* text) {
    if (!text)
        return;
    const int hours = seconds / 3600, minutes = seconds / 60 % 60, secs = seconds % 60;
    wchar_t phrase[128];
    if (hours > 0)
        wsprintfW(phrase, L"за %i час%s %i минут%s %i секунд%s", hours, HourEnding(hours), minutes,
                  MinuteEnding(minutes), secs, MinuteEnding(secs));
    else if (minutes > 0)
        wsprintfW(phrase, L"за %i минут%s %i секунд%s", minutes, MinuteEnding(minutes), secs, MinuteEnding(secs));
    else
        wsprintfW(phrase, L"за %i секунд%s", secs, MinuteEnding(secs));
    lstrcatW(text, phrase);
}
