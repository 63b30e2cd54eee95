<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name>QGuiApplication</name>
    <message>
        <source>QT_LAYOUT_DIRECTION</source>
        <translation>RTL</translation>
    </message>
</context>
<context>
    <name>ZAVAlert</name>
    <message>
        <source>OK</source>
        <translation>موافق</translation>
    </message>
</context>
<context>
    <name>ZAVAppUtils</name>
    <message>
        <source>Quit and continue installation</source>
        <translation>الإنهاء ومتابعة التثبيت</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 قيد التشغيل حاليًا. يرجى إغلاق التطبيق لمتابعة التثبيت.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>الإنهاء والتثبيت</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>هذا المثبِّت تالف (ختمه: %1). نزِّله مرة أخرى.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>لم تُختم أي خلاصة في هذا المثبِّت؛ يختمها المورّد باستخدام zav-vendor bundle.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>تعذّرت قراءة معلومات المنتج (%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>عرض الخادم منتجًا مختلفًا. لم يُثبَّت أي شيء.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>انتهت صلاحية معلومات المنتج. تحقّق من تاريخ هذا الحاسوب ووقته.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>عرض الخادم معلومات منتج أقدم من التي تلقّاها هذا الحاسوب من قبل.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>تعذّر التحقق من معلومات المنتج. لم يُثبَّت أي شيء.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>لا تذكر معلومات المنتج عنوان الحزمة.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>عنوان الحزمة ليس عنوان URL كاملًا (%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>يجب أن يكون „%1“ %2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>نصًّا</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true أو false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 رقمًا سداسيًّا عشريًّا</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>عددًا صحيحًا أكبر من 0</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>عددًا صحيحًا من 1 إلى 2^53 - 1</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>وقتًا بالتوقيت العالمي مثل 2027-03-01T00:00:00Z</translation>
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
        <translation>ليس مستند JSON</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>ليس كائن JSON</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>„%1“ مفقود</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>بايت واحد</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 بايت</translation>
    </message>
    <message>
        <source>%1 kB</source>
        <translation>%1 كيلوبايت</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 ميغابايت</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 غيغابايت</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 تيرابايت</translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation>%1 بيتابايت</translation>
    </message>
    <message>
        <source>%1 EB</source>
        <translation>%1 إكسابايت</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 ث</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 د</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 س</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>يتعذّر استخدام المجلد المؤقت (%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>لم يكتمل تثبيت آخر خلال دقيقة.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>تعذّر حفظ الحزمة: يتعذّر استخدام المجلد المؤقت.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>تعذّر حفظ الحزمة (%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>تعذّر تنزيل الحزمة (HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>الحزمة التي نُزّلت تالفة أو مُعدَّلة. لم يُثبَّت أي شيء.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>تعذّر وضع الحزمة في مكانها (%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>تعذّر إكمال التثبيت.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>المثبِّت</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>الحالة</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>تقدّم التنزيل</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>تفاصيل التنزيل</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>إنهاء المثبِّت</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>إنهاء</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>جارٍ التحميل…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>إصدار نظام تشغيل غير مدعوم</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>موافق</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>عذرًا، إصدار Linux لديك غير مدعوم. يرجى الترقية إلى إصدار أحدث.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>جارٍ تنزيل %1</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>في انتظار انتهاء تثبيت آخر…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>جارٍ تثبيت %1</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>جارٍ تشغيل %1</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>تم تثبيت %1 بنجاح</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>تعذّر إكمال التثبيت</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 يرجى المحاولة مرة أخرى لاحقًا.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>إنهاء التثبيت</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>انقطع الاتصال. ستُعاد المحاولة بعد %1 ث (المحاولة %2 من %3)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 من %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>، يتبقى نحو %1</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>جارٍ إنهاء التثبيت…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>مثبِّت %1</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>في انتظار إنهاء %1...</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>أُلغي التنزيل.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>العنوان ليس عنوان URL صالحًا.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>انتهت مهلة الطلب.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>انقطع الاتصال بالشبكة.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>أرسل الخادم بيانات أكثر من المتوقع.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>لا توجد مساحة حرة كافية: المطلوب %1 والمتاح %2 في %3.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>تعذّرت كتابة الملف الذي نُزّل (%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>الملف الذي نُزّل ليس الملف المتوقع (يختلف حجمه أو قيمة SHA-256).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>يتعذّر استخدام المجلد المؤقت.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>تعذّر إنشاء ملف التنزيل (%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>ردّ الخادم بالرمز HTTP %1.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>تعذّر الاتصال بالخادم.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>تعذّر العثور على خادم باسم المضيف المحدد.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>تعذّر إنشاء اتصال آمن بالخادم.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>أرسل الخادم عددًا كبيرًا جدًا من عمليات إعادة التوجيه.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>أرسل الخادم إعادة توجيه غير مدعومة (من https إلى http).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>أرسل الخادم إعادة توجيه غير مدعومة (إلى مخطط آخر).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>يستخدم العنوان مخططًا غير مدعوم.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>يبدو أن الاتصال بالإنترنت غير متوفر.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>لا يمكن تشغيل %1 على هذا الحاسوب: فهو يحتاج إلى %2، وهو غير مثبَّت.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>لا يمكن تشغيل %1 على هذا الحاسوب: فهو يحتاج إلى نظام أحدث (%2؛ وهذا الحاسوب لديه %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>لا يمكن تشغيل %1 على هذا الحاسوب: فهو يحتاج إلى نظام أحدث (%2).</translation>
    </message>
</context>
</TS>
