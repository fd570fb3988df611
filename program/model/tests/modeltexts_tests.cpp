// The texts the model shows, read from its string table: every id gives the text the model's code
// showed when it still held it as a literal, character for character. This test program's
// sources name no resource script: the build links the model's script into every module that
// links the model.
#include <gtest/gtest.h>

#include "kvtexts.h"

#include "ModelText.h"

namespace {

using KvTest::Entry;

const KvTest::StringText kModelTexts[] = {
    Entry(IDS_MODEL_STORE_ERROR, L"Код: %s\nТекст: %s"),
    Entry(IDS_MODEL_LISTS_LEFT_OUT,
          L"Модель данных сохранена, но эти объекты не включены в списки контроля платы: их имена содержат "
          L"символы, которые строка списка не передаёт без искажения (показаны кодами в квадратных скобках)."),
    Entry(IDS_MODEL_LISTS_MORE, L"\n... и ещё %u"),
    Entry(IDS_MODEL_NO_LOCAL_DISK, L"Не найден локальный жесткий диск для папки платы \"Varno\".\n"
                                   L"Модель данных не сохранена: хранилище и списки контроля платы записать некуда."),
    Entry(IDS_MODEL_UNKNOWN_ERROR, L"Произошла неизвестная ошибка!"),
    Entry(IDS_METHOD_UNDEFINED, L"Неопределен"),
    // A Latin C first, as the board's own texts have it.
    Entry(IDS_METHOD_EXISTENCE, L"C\u0443\u0449\u0435\u0441\u0442\u0432\u043e\u0432\u0430\u043d\u0438\u0435"),
    Entry(IDS_METHOD_CONTENTS, L"Содержимое"),
    Entry(IDS_METHOD_ATTRIBUTES, L"Атрибуты"),
    Entry(IDS_METHOD_ACCESS, L"Права доступа"),
    Entry(IDS_METHOD_AT_START, L"Контроль при запуске"),
    Entry(IDS_METHOD_BOARD, L"ПАК \"Varno\""),
    Entry(IDS_ALGORITHM_NONE, L"Нет алгоритма"),
    Entry(IDS_ALGORITHM_CRC7, L"CRC7"),
    Entry(IDS_ALGORITHM_SIGNATURE, L"ЭЦП"),
    Entry(IDS_ALGORITHM_HASH, L"Хэш"),
    Entry(IDS_ALGORITHM_IMITATION, L"Имитовставка"),
    Entry(IDS_ALGORITHM_EXACT, L"Полное совпадение"),
};

TEST(ModelTexts, EveryIdLoadsTheTextTheModelShowed) {
    KvTest::ExpectLibraryTexts(kModelTexts, ModelText, 28000, 28031);
}

} // namespace
