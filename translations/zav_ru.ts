<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru">
<context>
    <name>QGuiApplication</name>
    <message>
        <source>QT_LAYOUT_DIRECTION</source>
        <translation>LTR</translation>
    </message>
</context>
<context>
    <name>ZAVAlert</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ZAVAppUtils</name>
    <message>
        <source>Quit and continue installation</source>
        <translation>Завершить и продолжить установку</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>Приложение %1 запущено. Закройте его, чтобы продолжить установку.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>Завершить и установить</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>Этот установщик повреждён (запись: %1). Загрузите его заново.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>В этот установщик не записан канал; поставщик записывает его командой zav-vendor bundle.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>Не удалось прочитать сведения о продукте (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>Сервер предложил другой продукт. Ничего не установлено.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>Срок действия сведений о продукте истёк. Проверьте дату и время на этом компьютере.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>Сервер предложил более старые сведения о продукте, чем уже получены этим компьютером.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>Не удалось проверить сведения о продукте. Ничего не установлено.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>В сведениях о продукте не указан адрес пакета.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>Адрес пакета не является полным URL-адресом (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>«%1» должно быть: %2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>текст</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true или false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 шестнадцатеричные цифры</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>целое число больше 0</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>целое число от 1 до 2^53 - 1</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>время UTC, например 2027-03-01T00:00:00Z</translation>
    </message>
</context>
<context>
    <name>ZAVFeedLoader</name>
    <message>
        <source>HTTP %1</source>
        <translation>HTTP %1</translation>
    </message>
    <message>
        <source>it is not a JSON document</source>
        <translation>это не документ JSON</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>это не объект JSON</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>отсутствует «%1»</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1 байт</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Б</translation>
    </message>
    <message>
        <source>%1 kB</source>
        <translation>%1 кБ</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 МБ</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 ГБ</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 ТБ</translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation>%1 ПБ</translation>
    </message>
    <message>
        <source>%1 EB</source>
        <translation>%1 ЭБ</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 с</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 мин</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 ч</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>Невозможно использовать временную папку (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>Другая установка не завершилась в течение минуты.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>Не удалось сохранить пакет: невозможно использовать временную папку.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>Не удалось сохранить пакет (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>Не удалось загрузить пакет (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>Загруженный пакет повреждён или изменён. Ничего не установлено.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>Не удалось поместить пакет на место (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>Не удалось завершить установку.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>Установщик</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Ход загрузки</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>Подробности загрузки</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>Выйти из установщика</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Выйти</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Загрузка…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>Неподдерживаемая версия ОС</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>К сожалению, ваша версия Linux не поддерживается. Обновите систему до более новой версии.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>Загрузка: %1</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>Ожидание завершения другой установки…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>Установка: %1</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>Запуск: %1</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1: установка успешно завершена</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>Не удалось завершить установку</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 Повторите попытку позже.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>Выйти из установки</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>Соединение потеряно. Повтор через %1 с (попытка %2 из %3)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 из %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, осталось около %1</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>Завершение установки…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>Установщик %1</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>Ожидание завершения %1…</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>Загрузка отменена.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>Адрес не является допустимым URL-адресом.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>Время ожидания запроса истекло.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>Сетевое соединение потеряно.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>Сервер отправил больше данных, чем ожидалось.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>Недостаточно свободного места: требуется %1, в %3 свободно %2.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>Не удалось записать загруженный файл (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>Загруженный файл не тот, что ожидался (отличается размер или SHA-256).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>Невозможно использовать временную папку.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>Не удалось создать файл загрузки (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>Сервер ответил кодом HTTP %1.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>Не удалось подключиться к серверу.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>Сервер с указанным именем узла не найден.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>Не удалось установить защищённое соединение с сервером.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>Сервер отправил слишком много перенаправлений.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>Сервер отправил неподдерживаемое перенаправление (с https на http).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>Сервер отправил неподдерживаемое перенаправление (на другую схему).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>В адресе используется неподдерживаемая схема.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>Похоже, подключение к Интернету отсутствует.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 не может работать на этом компьютере: требуется %2, который не установлен.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 не может работать на этом компьютере: требуется более новая система (%2; на этом компьютере %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 не может работать на этом компьютере: требуется более новая система (%2).</translation>
    </message>
</context>
</TS>
