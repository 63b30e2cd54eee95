<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
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
        <translation>Aceptar</translation>
    </message>
</context>
<context>
    <name>ZAVAppUtils</name>
    <message>
        <source>Quit and continue installation</source>
        <translation>Salir y continuar la instalación</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 se está ejecutando. Cierre la aplicación para continuar con la instalación.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>Salir e instalar</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>Este instalador está dañado (grabación: %1). Descárguelo de nuevo.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>Este instalador no tiene ningún feed grabado; el proveedor lo graba con zav-vendor bundle.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>No se pudo leer la información del producto (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>El servidor ofreció un producto distinto. No se ha instalado nada.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>La información del producto ha caducado. Compruebe la fecha y la hora de este equipo.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>El servidor ofreció información del producto más antigua que la que este equipo ya ha recibido.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>No se pudo verificar la información del producto. No se ha instalado nada.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>La información del producto no indica ninguna dirección del paquete.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>La dirección del paquete no es una URL completa (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>«%1» debe ser %2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>un texto</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true o false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 dígitos hexadecimales</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>un número entero mayor que 0</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>un número entero de 1 a 2^53 - 1</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>una hora UTC como 2027-03-01T00:00:00Z</translation>
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
        <translation>no es un documento JSON</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>no es un objeto JSON</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>falta «%1»</translation>
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
        <translation>%1 bytes</translation>
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
        <translation>No se puede usar la carpeta temporal (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>Otra instalación no ha terminado en un minuto.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>No se pudo guardar el paquete: no se puede usar la carpeta temporal.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>No se pudo guardar el paquete (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>No se pudo descargar el paquete (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>El paquete descargado está dañado o ha sido modificado. No se ha instalado nada.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>No se pudo colocar el paquete en su sitio (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>No se pudo completar la instalación.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>Instalador</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Estado</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progreso de la descarga</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>Detalles de la descarga</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>Salir del instalador</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Cargando…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>Versión del sistema operativo no compatible</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>Lo sentimos, su versión de Linux no es compatible. Actualice a una versión más reciente.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>Descargando %1</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>Esperando a que termine otra instalación…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>Instalando %1</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>Abriendo %1</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1 se ha instalado correctamente</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>No se pudo completar la instalación</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 Vuelva a intentarlo más tarde.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>Salir de la instalación</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>Se perdió la conexión. Reintentando en %1 s (intento %2 de %3)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 de %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, quedan unos %1</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>Finalizando la instalación…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>Instalador de %1</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>Esperando a que %1 se cierre...</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>Se canceló la descarga.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>La dirección no es una URL válida.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>Se agotó el tiempo de espera de la solicitud.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>Se perdió la conexión de red.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>El servidor envió más datos de los esperados.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>No hay suficiente espacio libre: se necesitan %1 y hay %2 libres en %3.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>No se pudo escribir el archivo descargado (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>El archivo descargado no es el esperado (su tamaño o su SHA-256 no coinciden).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>No se puede usar la carpeta temporal.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>No se pudo crear el archivo de descarga (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>El servidor respondió con HTTP %1.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>No se pudo conectar con el servidor.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>No se encontró ningún servidor con el nombre de host especificado.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>No se pudo establecer una conexión segura con el servidor.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>El servidor envió demasiadas redirecciones.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>El servidor envió una redirección no admitida (de https a http).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>El servidor envió una redirección no admitida (a otro esquema).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>La dirección usa un esquema no admitido.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>Parece que no hay conexión a Internet.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 no puede ejecutarse en este equipo: necesita %2, que no está instalado.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 no puede ejecutarse en este equipo: necesita un sistema más reciente (%2; este equipo tiene %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 no puede ejecutarse en este equipo: necesita un sistema más reciente (%2).</translation>
    </message>
</context>
</TS>
