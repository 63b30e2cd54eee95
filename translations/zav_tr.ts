<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="tr">
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
        <translation>Tamam</translation>
    </message>
</context>
<context>
    <name>ZAVAppUtils</name>
    <message>
        <source>Quit and continue installation</source>
        <translation>Kapat ve kuruluma devam et</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 şu anda çalışıyor. Kuruluma devam etmek için lütfen uygulamayı kapatın.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>Kapat ve kur</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>Bu yükleyici hasarlı (işleme: %1). Yeniden indirin.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>Bu yükleyiciye bir akış işlenmemiş; satıcı bunu zav-vendor bundle ile işler.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>Ürün bilgileri okunamadı (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>Sunucu farklı bir ürün sundu. Hiçbir şey yüklenmedi.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>Ürün bilgilerinin süresi dolmuş. Bu bilgisayarın tarih ve saatini denetleyin.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>Sunucu, bu bilgisayarın daha önce aldığından daha eski ürün bilgileri sundu.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>Ürün bilgileri doğrulanamadı. Hiçbir şey yüklenmedi.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>Ürün bilgilerinde paket adresi yok.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>Paket adresi tam bir URL değil (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>“%1” şu olmalı: %2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>bir metin</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true ya da false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 onaltılık basamak</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>0’dan büyük bir tam sayı</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>1 ile 2^53 - 1 arasında bir tam sayı</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>2027-03-01T00:00:00Z gibi bir UTC zamanı</translation>
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
        <translation>bir JSON belgesi değil</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>bir JSON nesnesi değil</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>“%1” eksik</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1 bayt</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 bayt</translation>
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
        <translation>%1 sn</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 dk</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 sa</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>Geçici klasör kullanılamıyor (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>Başka bir kurulum bir dakika içinde tamamlanmadı.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>Paket kaydedilemedi: Geçici klasör kullanılamıyor.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>Paket kaydedilemedi (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>Paket indirilemedi (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>İndirilen paket hasarlı ya da değiştirilmiş. Hiçbir şey yüklenmedi.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>Paket yerine konamadı (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>Kurulum tamamlanamadı.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>Kurulum Sihirbazı</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Durum</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>İndirme ilerlemesi</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>İndirme ayrıntıları</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>Kurulum sihirbazından çık</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Çık</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Yükleniyor…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>Desteklenmeyen işletim sistemi sürümü</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Tamam</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>Üzgünüz, Linux sürümünüz desteklenmiyor. Lütfen daha yeni bir sürüme yükseltin.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>%1 indiriliyor</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>Başka bir kurulumun bitmesi bekleniyor…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>%1 yükleniyor</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>%1 başlatılıyor</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1 başarıyla yüklendi</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>Kurulum tamamlanamadı</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 Lütfen daha sonra yeniden deneyin.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>Kurulumdan çık</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>Bağlantı koptu. %1 sn içinde yeniden denenecek (deneme %2/%3)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, yaklaşık %1 kaldı</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>Kurulum tamamlanıyor…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>%1 Yükleyicisi</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>%1 uygulamasının kapanması bekleniyor...</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>İndirme iptal edildi.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>Adres geçerli bir URL değil.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>İstek zaman aşımına uğradı.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>Ağ bağlantısı koptu.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>Sunucu beklenenden fazla veri gönderdi.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>Yeterli boş alan yok: %1 gerekiyor, %3 içinde %2 boş.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>İndirilen dosya yazılamadı (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>İndirilen dosya beklenen dosya değil (boyutu ya da SHA-256 değeri farklı).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>Geçici klasör kullanılamıyor.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>İndirme dosyası oluşturulamadı (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>Sunucu HTTP %1 ile yanıt verdi.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>Sunucuya bağlanılamadı.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>Belirtilen ana bilgisayar adına sahip bir sunucu bulunamadı.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>Sunucuyla güvenli bir bağlantı kurulamadı.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>Sunucu çok fazla yönlendirme gönderdi.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>Sunucu desteklenmeyen bir yönlendirme gönderdi (https’den http’ye).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>Sunucu desteklenmeyen bir yönlendirme gönderdi (başka bir şemaya).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>Adres desteklenmeyen bir şema kullanıyor.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>İnternet bağlantısı kesik görünüyor.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 bu bilgisayarda çalışamaz: Yüklü olmayan %2 gerekiyor.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 bu bilgisayarda çalışamaz: Daha yeni bir sistem gerekiyor (%2; bu bilgisayarda %3 var).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 bu bilgisayarda çalışamaz: Daha yeni bir sistem gerekiyor (%2).</translation>
    </message>
</context>
</TS>
