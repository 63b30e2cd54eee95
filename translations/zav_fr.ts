<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
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
        <translation>Quitter et poursuivre l’installation</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 est en cours d’exécution. Veuillez fermer l’application pour poursuivre l’installation.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>Quitter et installer</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>Ce programme d’installation est endommagé (inscription : %1). Téléchargez-le à nouveau.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>Aucun flux n’est inscrit dans ce programme d’installation ; l’éditeur l’y inscrit avec zav-vendor bundle.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>Les informations sur le produit n’ont pas pu être lues (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>Le serveur a proposé un autre produit. Rien n’a été installé.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>Les informations sur le produit ont expiré. Vérifiez la date et l’heure de cet ordinateur.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>Le serveur a proposé des informations sur le produit plus anciennes que celles déjà reçues par cet ordinateur.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>Les informations sur le produit n’ont pas pu être vérifiées. Rien n’a été installé.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>Les informations sur le produit n’indiquent aucune adresse de paquet.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>L’adresse du paquet n’est pas une URL complète (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>« %1 » doit être %2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>un texte</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true ou false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 chiffres hexadécimaux</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>un nombre entier supérieur à 0</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>un nombre entier de 1 à 2^53 - 1</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>une heure UTC comme 2027-03-01T00:00:00Z</translation>
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
        <translation>ce n’est pas un document JSON</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>ce n’est pas un objet JSON</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>« %1 » est absent</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1&#xa0;octet</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1&#xa0;octets</translation>
    </message>
    <message>
        <source>%1 kB</source>
        <translation>%1&#xa0;ko</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1&#xa0;Mo</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1&#xa0;Go</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1&#xa0;To</translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation>%1&#xa0;Po</translation>
    </message>
    <message>
        <source>%1 EB</source>
        <translation>%1&#xa0;Eo</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1&#xa0;s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1&#xa0;min</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1&#xa0;h</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>Le dossier temporaire ne peut pas être utilisé (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>Une autre installation ne s’est pas terminée en moins d’une minute.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>Le paquet n’a pas pu être enregistré : le dossier temporaire ne peut pas être utilisé.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>Le paquet n’a pas pu être enregistré (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>Le paquet n’a pas pu être téléchargé (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>Le paquet téléchargé est endommagé ou a été modifié. Rien n’a été installé.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>Le paquet n’a pas pu être mis en place (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>L’installation n’a pas pu être terminée.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>Programme d’installation</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>État</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progression du téléchargement</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>Détails du téléchargement</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>Quitter le programme d’installation</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Chargement…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>Version du système d’exploitation non prise en charge</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>Désolé, votre version de Linux n’est pas prise en charge. Veuillez passer à une version plus récente.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>Téléchargement de %1</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>En attente de la fin d’une autre installation…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>Installation de %1</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>Lancement de %1</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1 a été installé avec succès</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>Impossible de terminer l’installation</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 Veuillez réessayer plus tard.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>Quitter l’installation</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>Connexion perdue. Nouvelle tentative dans %1&#xa0;s (tentative %2 sur %3)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 sur %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, environ %1 restantes</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>Finalisation de l’installation…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>Programme d’installation de %1</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>En attente de la fermeture de %1…</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>Le téléchargement a été annulé.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>L’adresse n’est pas une URL valide.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>La requête a expiré.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>La connexion réseau a été perdue.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>Le serveur a envoyé plus de données que prévu.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>Espace libre insuffisant : %1 nécessaires, %2 libres dans %3.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>Le fichier téléchargé n’a pas pu être écrit (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>Le fichier téléchargé n’est pas celui attendu (sa taille ou son SHA-256 diffère).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>Le dossier temporaire ne peut pas être utilisé.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>Le fichier de téléchargement n’a pas pu être créé (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>Le serveur a répondu HTTP %1.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>Impossible de se connecter au serveur.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>Aucun serveur portant le nom d’hôte indiqué n’a été trouvé.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>Impossible d’établir une connexion sécurisée avec le serveur.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>Le serveur a envoyé trop de redirections.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>Le serveur a envoyé une redirection non prise en charge (de https vers http).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>Le serveur a envoyé une redirection non prise en charge (vers un autre schéma).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>L’adresse utilise un schéma non pris en charge.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>La connexion Internet semble interrompue.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 ne peut pas fonctionner sur cet ordinateur : il a besoin de %2, qui n’est pas installé.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 ne peut pas fonctionner sur cet ordinateur : il a besoin d’un système plus récent (%2 ; cet ordinateur a %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 ne peut pas fonctionner sur cet ordinateur : il a besoin d’un système plus récent (%2).</translation>
    </message>
</context>
</TS>
