<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl">
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
        <translation>Zakończ i kontynuuj instalację</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>Program %1 jest uruchomiony. Zamknij go, aby kontynuować instalację.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>Zakończ i zainstaluj</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>Ten instalator jest uszkodzony (wpis: %1). Pobierz go ponownie.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>Ten instalator nie ma wpisanego kanału; dostawca wpisuje go poleceniem zav-vendor bundle.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>Nie można odczytać informacji o produkcie (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>Serwer zaproponował inny produkt. Nic nie zostało zainstalowane.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>Informacje o produkcie straciły ważność. Sprawdź datę i godzinę na tym komputerze.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>Serwer zaproponował starsze informacje o produkcie niż te, które ten komputer już otrzymał.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>Nie można zweryfikować informacji o produkcie. Nic nie zostało zainstalowane.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>Informacje o produkcie nie podają adresu pakietu.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>Adres pakietu nie jest pełnym adresem URL (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>„%1” musi być wartością: %2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>tekst</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true lub false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 cyfry szesnastkowe</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>liczba całkowita większa od 0</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>liczba całkowita od 1 do 2^53 - 1</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>czas UTC, np. 2027-03-01T00:00:00Z</translation>
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
        <translation>to nie jest dokument JSON</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>to nie jest obiekt JSON</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>brak „%1”</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1 bajt</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 B</translation>
    </message>
    <message>
        <source>%1 kB</source>
        <translation>%1 kB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 TB</translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation>%1 PB</translation>
    </message>
    <message>
        <source>%1 EB</source>
        <translation>%1 EB</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 godz.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>Nie można użyć katalogu tymczasowego (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>Inna instalacja nie zakończyła się w ciągu minuty.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>Nie można zapisać pakietu: nie można użyć katalogu tymczasowego.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>Nie można zapisać pakietu (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>Nie można pobrać pakietu (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>Pobrany pakiet jest uszkodzony lub został zmieniony. Nic nie zostało zainstalowane.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>Nie można umieścić pakietu na miejscu (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>Nie można ukończyć instalacji.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>Instalator</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Stan</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Postęp pobierania</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>Szczegóły pobierania</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>Zakończ instalator</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Zakończ</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Wczytywanie…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>Nieobsługiwana wersja systemu operacyjnego</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>Niestety ta wersja systemu Linux nie jest obsługiwana. Zaktualizuj system do nowszej wersji.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>Pobieranie: %1</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>Oczekiwanie na zakończenie innej instalacji…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>Instalowanie: %1</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>Uruchamianie: %1</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>Pomyślnie zainstalowano: %1</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>Nie można ukończyć instalacji</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 Spróbuj ponownie później.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>Zakończ instalację</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>Utracono połączenie. Ponowna próba za %1 s (próba %2 z %3)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 z %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, pozostało około %1</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>Kończenie instalacji…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>Instalator %1</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>Oczekiwanie na zamknięcie %1...</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>Pobieranie zostało anulowane.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>Adres nie jest prawidłowym adresem URL.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>Upłynął limit czasu żądania.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>Utracono połączenie sieciowe.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>Serwer wysłał więcej danych, niż oczekiwano.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>Za mało wolnego miejsca: potrzeba %1, a w %3 wolne jest %2.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>Nie można zapisać pobranego pliku (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>Pobrany plik nie jest oczekiwanym plikiem (różni się rozmiar lub SHA-256).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>Nie można użyć katalogu tymczasowego.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>Nie można utworzyć pliku pobierania (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>Serwer odpowiedział kodem HTTP %1.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>Nie można połączyć się z serwerem.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>Nie znaleziono serwera o podanej nazwie hosta.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>Nie można nawiązać bezpiecznego połączenia z serwerem.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>Serwer wysłał zbyt wiele przekierowań.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>Serwer wysłał nieobsługiwane przekierowanie (z https na http).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>Serwer wysłał nieobsługiwane przekierowanie (do innego schematu).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>Adres używa nieobsługiwanego schematu.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>Wygląda na to, że brak połączenia z internetem.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>Nie można uruchomić programu %1 na tym komputerze: wymaga on %2, który nie jest zainstalowany.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>Nie można uruchomić programu %1 na tym komputerze: wymaga on nowszego systemu (%2; ten komputer ma %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>Nie można uruchomić programu %1 na tym komputerze: wymaga on nowszego systemu (%2).</translation>
    </message>
</context>
</TS>
