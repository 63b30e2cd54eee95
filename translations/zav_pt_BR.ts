<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
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
        <translation>Encerrar e continuar a instalação</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 está em execução. Feche o aplicativo para continuar a instalação.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>Encerrar e instalar</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>Este instalador está danificado (gravação: %1). Baixe-o novamente.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>Este instalador não tem um feed gravado; o fornecedor o grava com zav-vendor bundle.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>Não foi possível ler as informações do produto (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>O servidor ofereceu um produto diferente. Nada foi instalado.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>As informações do produto expiraram. Verifique a data e a hora deste computador.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>O servidor ofereceu informações do produto mais antigas do que as que este computador já recebeu.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>Não foi possível verificar as informações do produto. Nada foi instalado.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>As informações do produto não indicam o endereço do pacote.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>O endereço do pacote não é uma URL completa (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>“%1” deve ser %2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>um texto</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true ou false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 dígitos hexadecimais</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>um número inteiro maior que 0</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>um número inteiro de 1 a 2^53 - 1</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>um horário UTC como 2027-03-01T00:00:00Z</translation>
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
        <translation>não é um documento JSON</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>não é um objeto JSON</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>“%1” está ausente</translation>
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
        <translation>Não é possível usar a pasta temporária (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>Outra instalação não terminou em um minuto.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>Não foi possível salvar o pacote: não é possível usar a pasta temporária.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>Não foi possível salvar o pacote (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>Não foi possível baixar o pacote (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>O pacote baixado está danificado ou foi alterado. Nada foi instalado.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>Não foi possível colocar o pacote no lugar (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>Não foi possível concluir a instalação.</translation>
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
        <translation>Status</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progresso do download</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>Detalhes do download</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>Sair do instalador</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Sair</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Carregando…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>Versão do sistema operacional não compatível</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>Desculpe, sua versão do Linux não é compatível. Atualize para uma versão mais recente.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>Baixando %1</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>Aguardando a conclusão de outra instalação…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>Instalando %1</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>Abrindo %1</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1 foi instalado com sucesso</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>Não foi possível concluir a instalação</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 Tente novamente mais tarde.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>Sair da instalação</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>Conexão perdida. Tentando novamente em %1 s (tentativa %2 de %3)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 de %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, cerca de %1 restantes</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>Concluindo a instalação…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>Instalador do %1</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>Aguardando o encerramento de %1...</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>O download foi cancelado.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>O endereço não é uma URL válida.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>A solicitação expirou.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>A conexão de rede foi perdida.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>O servidor enviou mais dados do que o esperado.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>Não há espaço livre suficiente: são necessários %1 e há %2 livres em %3.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>Não foi possível gravar o arquivo baixado (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>O arquivo baixado não é o esperado (o tamanho ou o SHA-256 é diferente).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>Não é possível usar a pasta temporária.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>Não foi possível criar o arquivo de download (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>O servidor respondeu com HTTP %1.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>Não foi possível conectar ao servidor.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>Não foi encontrado um servidor com o nome de host especificado.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>Não foi possível estabelecer uma conexão segura com o servidor.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>O servidor enviou redirecionamentos demais.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>O servidor enviou um redirecionamento não compatível (de https para http).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>O servidor enviou um redirecionamento não compatível (para outro esquema).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>O endereço usa um esquema não compatível.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>A conexão com a Internet parece estar desligada.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 não pode ser executado neste computador: ele precisa de %2, que não está instalado.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 não pode ser executado neste computador: ele precisa de um sistema mais recente (%2; este computador tem %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 não pode ser executado neste computador: ele precisa de um sistema mais recente (%2).</translation>
    </message>
</context>
</TS>
