<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it">
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
        <translation>Chiudi e continua l’installazione</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 è in esecuzione. Chiudi l’applicazione per continuare l’installazione.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>Chiudi e installa</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>Questo programma di installazione è danneggiato (impronta: %1). Scaricalo di nuovo.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>In questo programma di installazione non è impresso alcun feed; il fornitore lo imprime con zav-vendor bundle.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>Impossibile leggere le informazioni sul prodotto (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>Il server ha offerto un prodotto diverso. Non è stato installato nulla.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>Le informazioni sul prodotto sono scadute. Controlla la data e l’ora di questo computer.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>Il server ha offerto informazioni sul prodotto più vecchie di quelle già ricevute da questo computer.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>Impossibile verificare le informazioni sul prodotto. Non è stato installato nulla.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>Le informazioni sul prodotto non indicano l’indirizzo del pacchetto.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>L’indirizzo del pacchetto non è un URL completo (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>«%1» deve essere %2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>un testo</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true o false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 cifre esadecimali</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>un numero intero maggiore di 0</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>un numero intero da 1 a 2^53 - 1</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>un’ora UTC come 2027-03-01T00:00:00Z</translation>
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
        <translation>non è un documento JSON</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>non è un oggetto JSON</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>manca «%1»</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1 byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 byte</translation>
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
        <translation>%1 h</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>Impossibile usare la cartella temporanea (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>Un’altra installazione non è terminata entro un minuto.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>Impossibile salvare il pacchetto: non è possibile usare la cartella temporanea.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>Impossibile salvare il pacchetto (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>Impossibile scaricare il pacchetto (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>Il pacchetto scaricato è danneggiato o è stato alterato. Non è stato installato nulla.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>Impossibile mettere il pacchetto al suo posto (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>Impossibile completare l’installazione.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>Programma di installazione</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Stato</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Avanzamento del download</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>Dettagli del download</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>Esci dal programma di installazione</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Esci</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Caricamento…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>Versione del sistema operativo non supportata</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>Spiacenti, la tua versione di Linux non è supportata. Aggiorna a una versione più recente.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>Download di %1 in corso</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>In attesa che termini un’altra installazione…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>Installazione di %1 in corso</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>Avvio di %1 in corso</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1 è stato installato correttamente</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>Impossibile completare l’installazione</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 Riprova più tardi.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>Esci dall’installazione</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>Connessione persa. Nuovo tentativo tra %1 s (tentativo %2 di %3)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 di %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, circa %1 rimanenti</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>Completamento dell’installazione…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>Programma di installazione di %1</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>In attesa della chiusura di %1...</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>Il download è stato annullato.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>L’indirizzo non è un URL valido.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>La richiesta è scaduta.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>La connessione di rete è stata persa.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>Il server ha inviato più dati del previsto.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>Spazio libero insufficiente: servono %1 e in %3 sono liberi %2.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>Impossibile scrivere il file scaricato (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>Il file scaricato non è quello previsto (dimensione o SHA-256 diversi).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>Impossibile usare la cartella temporanea.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>Impossibile creare il file di download (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>Il server ha risposto con HTTP %1.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>Impossibile connettersi al server.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>Impossibile trovare un server con il nome host specificato.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>Impossibile stabilire una connessione sicura con il server.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>Il server ha inviato troppi reindirizzamenti.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>Il server ha inviato un reindirizzamento non supportato (da https a http).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>Il server ha inviato un reindirizzamento non supportato (a un altro schema).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>L’indirizzo usa uno schema non supportato.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>La connessione a Internet sembra assente.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 non può essere eseguito su questo computer: richiede %2, che non è installato.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 non può essere eseguito su questo computer: richiede un sistema più recente (%2; questo computer ha %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 non può essere eseguito su questo computer: richiede un sistema più recente (%2).</translation>
    </message>
</context>
</TS>
