<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko">
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
        <translation>확인</translation>
    </message>
</context>
<context>
    <name>ZAVAppUtils</name>
    <message>
        <source>Quit and continue installation</source>
        <translation>종료하고 설치 계속</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1이(가) 실행 중입니다. 설치를 계속하려면 응용 프로그램을 닫으십시오.</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>종료 후 설치</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>이 설치 프로그램이 손상되었습니다(기록: %1). 다시 다운로드하세요.</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>이 설치 프로그램에는 피드가 기록되어 있지 않습니다. 공급업체가 zav-vendor bundle로 기록합니다.</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>제품 정보를 읽을 수 없습니다(%1).</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>서버가 다른 제품을 제공했습니다. 아무것도 설치되지 않았습니다.</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>제품 정보가 만료되었습니다. 이 컴퓨터의 날짜와 시간을 확인하십시오.</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>서버가 이 컴퓨터가 이미 받은 것보다 오래된 제품 정보를 제공했습니다.</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>제품 정보를 확인할 수 없습니다. 아무것도 설치되지 않았습니다.</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>제품 정보에 패키지 주소가 없습니다.</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>패키지 주소가 완전한 URL이 아닙니다(%1).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>“%1”은(는) %2이어야 합니다</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>텍스트</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true 또는 false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>16진수 64자리</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>0보다 큰 정수</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>1부터 2^53 - 1까지의 정수</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>2027-03-01T00:00:00Z와 같은 UTC 시간</translation>
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
        <translation>JSON 문서가 아닙니다</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>JSON 개체가 아닙니다</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>“%1”이(가) 없습니다</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1바이트</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1바이트</translation>
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
        <translation>%1초</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1분</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1시간</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>임시 폴더를 사용할 수 없습니다(%1).</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>다른 설치가 1분 안에 끝나지 않았습니다.</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>패키지를 저장할 수 없습니다. 임시 폴더를 사용할 수 없습니다.</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>패키지를 저장할 수 없습니다(%1).</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>패키지를 다운로드할 수 없습니다(HTTP %1).</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>다운로드한 패키지가 손상되었거나 변경되었습니다. 아무것도 설치되지 않았습니다.</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>패키지를 제자리에 둘 수 없습니다(%1).</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>설치를 완료할 수 없습니다.</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>설치 프로그램</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>상태</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>다운로드 진행률</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>다운로드 세부 정보</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>설치 프로그램 종료</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>종료</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>불러오는 중…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>지원되지 않는 OS 버전</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>확인</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>죄송합니다. 사용 중인 Linux 버전은 지원되지 않습니다. 최신 버전으로 업그레이드하십시오.</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>%1 다운로드 중</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>다른 설치가 끝나기를 기다리는 중…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>%1 설치 중</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>%1 실행 중</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1을(를) 설치했습니다</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>설치를 완료할 수 없음</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 나중에 다시 시도하십시오.</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>설치 종료</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>연결이 끊어졌습니다. %1초 후 다시 시도합니다(%3회 중 %2번째)…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>, 약 %1 남음</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>설치를 마무리하는 중…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>%1 설치 프로그램</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>%1이(가) 종료되기를 기다리는 중...</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>다운로드가 취소되었습니다.</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>주소가 올바른 URL이 아닙니다.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>요청 시간이 초과되었습니다.</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>네트워크 연결이 끊어졌습니다.</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>서버가 예상보다 많은 데이터를 보냈습니다.</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>여유 공간이 부족합니다. %1이(가) 필요하지만 %3에 %2만 남아 있습니다.</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>다운로드한 파일을 쓸 수 없습니다(%1).</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>다운로드한 파일이 예상한 파일이 아닙니다(크기 또는 SHA-256이 다릅니다).</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>임시 폴더를 사용할 수 없습니다.</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>다운로드 파일을 만들 수 없습니다(%1).</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>서버가 HTTP %1(으)로 응답했습니다.</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>서버에 연결할 수 없습니다.</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>지정한 호스트 이름의 서버를 찾을 수 없습니다.</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>서버와 보안 연결을 설정할 수 없습니다.</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>서버가 너무 많은 리디렉션을 보냈습니다.</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>서버가 지원되지 않는 리디렉션을 보냈습니다(https에서 http로).</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>서버가 지원되지 않는 리디렉션을 보냈습니다(다른 스킴으로).</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>주소가 지원되지 않는 스킴을 사용합니다.</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>인터넷에 연결되어 있지 않은 것 같습니다.</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1은(는) 이 컴퓨터에서 실행할 수 없습니다. 필요한 %2이(가) 설치되어 있지 않습니다.</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1은(는) 이 컴퓨터에서 실행할 수 없습니다. 더 최신 시스템이 필요합니다(%2, 이 컴퓨터는 %3).</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1은(는) 이 컴퓨터에서 실행할 수 없습니다. 더 최신 시스템이 필요합니다(%2).</translation>
    </message>
</context>
</TS>
