<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
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
        <translation>Beenden und Installation fortsetzen</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 wird gerade ausgeführt. Bitte beenden Sie die Anwendung, um die Installation fortzusetzen.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>Beenden &amp; installieren</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>Dieses Installationsprogramm ist beschädigt (Prägung: %1). Laden Sie es erneut herunter.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>Diesem Installationsprogramm ist kein Feed eingeprägt; der Hersteller prägt ihn mit zav-vendor bundle ein.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>Die Produktinformationen konnten nicht gelesen werden (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>Der Server hat ein anderes Produkt angeboten. Es wurde nichts installiert.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>Die Produktinformationen sind abgelaufen. Prüfen Sie Datum und Uhrzeit dieses Computers.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>Der Server hat ältere Produktinformationen angeboten, als dieser Computer bereits kennt.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>Die Produktinformationen konnten nicht überprüft werden. Es wurde nichts installiert.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>Die Produktinformationen nennen keine Paketadresse.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>Die Paketadresse ist keine vollständige URL (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>„%1“ muss %2 sein</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>ein Text</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true oder false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 Hexadezimalziffern</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>eine ganze Zahl größer als 0</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>eine ganze Zahl von 1 bis 2^53 - 1</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>eine UTC-Zeit wie 2027-03-01T00:00:00Z</translation>
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
        <translation>es ist kein JSON-Dokument</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>es ist kein JSON-Objekt</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>„%1“ fehlt</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
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
        <translation>%1 Min.</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 Std.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>Der temporäre Ordner kann nicht verwendet werden (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>Eine andere Installation wurde nicht innerhalb einer Minute abgeschlossen.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>Das Paket konnte nicht gespeichert werden: Der temporäre Ordner kann nicht verwendet werden.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>Das Paket konnte nicht gespeichert werden (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>Das Paket konnte nicht heruntergeladen werden (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>Das heruntergeladene Paket ist beschädigt oder wurde verändert. Es wurde nichts installiert.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>Das Paket konnte nicht an seinen Platz gelegt werden (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>Die Installation konnte nicht abgeschlossen werden.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>Installationsprogramm</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Download-Fortschritt</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>Download-Details</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>Installationsprogramm beenden</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Wird geladen …</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>Nicht unterstützte Betriebssystemversion</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>Ihre Linux-Version wird leider nicht unterstützt. Bitte aktualisieren Sie auf eine neuere Version.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>%1 wird heruntergeladen</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>Warten, bis eine andere Installation abgeschlossen ist …</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>%1 wird installiert</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>%1 wird gestartet</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1 wurde erfolgreich installiert</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>Installation konnte nicht abgeschlossen werden</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 Bitte versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>Installation beenden</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>Verbindung unterbrochen. Neuer Versuch in %1 s (Versuch %2 von %3) …</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, noch etwa %1</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>Installation wird abgeschlossen …</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>%1-Installationsprogramm</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>Warten, bis %1 beendet ist …</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>Der Download wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>Die Adresse ist keine gültige URL.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>Zeitüberschreitung bei der Anfrage.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>Die Netzwerkverbindung wurde unterbrochen.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>Der Server hat mehr Daten gesendet als erwartet.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>Nicht genügend freier Speicherplatz: %1 werden benötigt, in %3 sind %2 frei.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>Die heruntergeladene Datei konnte nicht geschrieben werden (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>Die heruntergeladene Datei ist nicht die erwartete (Größe oder SHA-256 weichen ab).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>Der temporäre Ordner kann nicht verwendet werden.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>Die Download-Datei konnte nicht angelegt werden (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>Der Server hat mit HTTP %1 geantwortet.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>Verbindung zum Server nicht möglich.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>Ein Server mit dem angegebenen Hostnamen wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>Es konnte keine sichere Verbindung zum Server hergestellt werden.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>Der Server hat zu viele Weiterleitungen gesendet.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>Der Server hat eine nicht unterstützte Weiterleitung gesendet (von https zu http).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>Der Server hat eine nicht unterstützte Weiterleitung gesendet (zu einem anderen Schema).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>Die Adresse verwendet ein nicht unterstütztes Schema.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>Die Internetverbindung scheint getrennt zu sein.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 kann auf diesem Computer nicht ausgeführt werden: Es wird %2 benötigt, das nicht installiert ist.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 kann auf diesem Computer nicht ausgeführt werden: Es wird ein neueres System benötigt (%2; dieser Computer hat %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 kann auf diesem Computer nicht ausgeführt werden: Es wird ein neueres System benötigt (%2).</translation>
    </message>
</context>
</TS>
