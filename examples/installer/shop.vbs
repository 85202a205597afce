' The custom actions of the sample installer, which sets up a small web application with
' Kestrix (installed before, by Kestrix.msi). The pattern:
'
' - Immediate actions decide and check, and change nothing: Kestrix's version, a free port, a
'   free site number, the directory and database logons, and what exists already (an account,
'   group or folder that exists is used, never made and never deleted). Anything they cannot
'   tell refuses the installation before it changes anything. They hand what the deferred
'   actions need to them as CustomActionData; a deferred action reads nothing else, as on
'   Windows.
' - Deferred actions change the machine, with the system's rights (their type has the
'   no-impersonation bit), each after a rollback action that takes back what it made.
' - What the installation made is remembered in the registry (the Registry table of Shop.wxs),
'   each item with its own name ("account:svc_shop"), and read back on removal and upgrade, so
'   that removal takes back only that. A repair or an upgrade keeps the names and what was made
'   as they were; names given on their command line are ignored, and the log says so. Removal does
'   not run when a major upgrade removes the old version, and it never fails: what it cannot
'   take back, it says in the log. Accounts and groups go in a commit action, once nothing can
'   roll the removal back any more: a deleted account cannot be made again as it was.
' - Every answer of Kestrix goes to the installer's log and is acted on, and every call and
'   conversion that can raise is trapped: a failed step stops the installation with a message
'   that says what failed and what to do.
' - Kestrix shows no message boxes here: nobody could close one in the installer's session.

' - Rights on the content folder are given only where this installation made both the folder
'   and the account: setdirectorypermission replaces the account's entries on the folder and on
'   every folder below it, so on a folder or for an account that was there before it could lose
'   entries that nothing can bring back. Where the installation made both, the entries go with
'   them: rollback and removal delete the account, and Windows Installer the folder.

Const SUCCESS = 1, FAILURE = 3
Const INFO = &H04000000, ERROR_MESSAGE = &H01000000
Const SITE_NAME = "Kestrix Shop"
' The flags createntuser gives the accounts it makes: the password never expires (&H10000), the
' user cannot change it (&H40).
Const ACCOUNT_FLAGS = &H10040
' The WinNT provider's answer to a password that its policy refuses (NERR_PasswordTooShort).
Const PASSWORD_REFUSED = &H800708C5

Sub Say(text)
    Dim record
    Set record = Session.Installer.CreateRecord(0)
    record.StringData(0) = "Kestrix Shop: " & text
    Session.Message INFO, record
End Sub

' Tells the user (and the log) what failed; the action then answers FAILURE.
Function Refuse(text)
    Dim record
    Set record = Session.Installer.CreateRecord(0)
    record.StringData(0) = text
    Session.Message ERROR_MESSAGE, record
    Refuse = FAILURE
End Function

' The error that a trapped call left, for a message: its text and its number.
Function Fault()
    Fault = Err.Description & " (" & Hex(Err.Number) & ")"
    Err.Clear
End Function

Function Kestrix(name)
    Set Kestrix = CreateObject("Kestrix." & name)
End Function

' Kestrix's boxes off for this process: nobody could close them during an installation. (Where
' the script host cannot set its environment, as under Wine, this does nothing; on Windows a
' deferred action's window station is not visible, and Kestrix is quiet there anyway.)
Sub Quiet()
    On Error Resume Next
    CreateObject("WScript.Shell").Environment("PROCESS").Item("KESTRIX_QUIET") = "1"
End Sub

' CustomActionData carries several values joined by "|"; "%" and "|" inside a value are
' written %25 and %7C, so that any character of a name or password survives.
Function Pack(values)
    Dim i
    Pack = ""
    For i = 0 To UBound(values)
        If i > 0 Then Pack = Pack & "|"
        Pack = Pack & Replace(Replace(values(i), "%", "%25"), "|", "%7C")
    Next
End Function

Function Unpack(text)
    Dim values, i
    values = Split(text, "|")
    For i = 0 To UBound(values)
        values(i) = Replace(Replace(values(i), "%7C", "|"), "%25", "%")
    Next
    Unpack = values
End Function

Function ActionData()
    ActionData = Unpack(Session.Property("CustomActionData"))
End Function

' What an installation made, packed as CustomActionData is: one item for each thing, with that
' thing's own name ("site:2", "account:svc_shop", "group:Shop Operators", "member:Shop
' Operators/svc_shop", "folder:C:\Program Files\Kestrix Shop\"), so that no other name can take
' over what it made. "nothing" when it made nothing. MadeName answers the name, or "".
Function MadeName(made, kind)
    Dim item
    MadeName = ""
    For Each item In Unpack(made)
        If Left(item, Len(kind) + 1) = kind & ":" Then MadeName = Mid(item, Len(kind) + 2)
    Next
End Function

Function WithMade(made, kind, name)
    WithMade = made
    If name = "" Or MadeName(made, kind) <> "" Then Exit Function
    If made <> "" And made <> "nothing" Then WithMade = made & "|" Else WithMade = ""
    WithMade = WithMade & Pack(Array(kind & ":" & name))
End Function

' Whether a text is a whole number of 1 to 9 decimal digits, which CLng converts without fail.
Function Digits(text)
    Dim i
    Digits = Len(text) > 0 And Len(text) < 10
    For i = 1 To Len(text)
        If InStr("0123456789", Mid(text, i, 1)) = 0 Then Digits = False
    Next
End Function

' Whether a dotted version is older than the minimum, compared part by part as numbers (text
' would put "1.10.0" before "1.9.0"): "" when it is not, else what is wrong with it.
Function Older(version, minimum)
    Dim have, need, i, part
    have = Split(version, ".")
    need = Split(minimum, ".")
    Older = ""
    If version = "" Then
        Older = "it is not installed"
        Exit Function
    End If
    For i = 0 To UBound(need)
        part = 0
        If i <= UBound(have) Then
            If Not Digits(have(i)) Then
                Older = "its version """ & version & """ cannot be read"
                Exit Function
            End If
            part = CLng(have(i))
        End If
        If part > CLng(need(i)) Then Exit Function
        If part < CLng(need(i)) Then
            Older = "version " & version & " is installed"
            Exit Function
        End If
    Next
End Function

' The computer's account container, bound by its path. Lookups go through its GetObject
' (IADsContainer::GetObject), so that the provider answers with its own status: a failed bind
' by path can answer 800401E4 for a missing account and for a lack of rights alike (Q184665).
Function Computer(host)
    Set Computer = GetObject("WinNT://" & host)
End Function

' Whether a local user or group exists: "yes", "no", or why the account database cannot tell.
' Only the provider's "not found" statuses mean no (user not found, group not found, no such
' local group); anything else, a lack of rights too, is "cannot tell".
Function Exists(host, name, kind)
    Dim container, found
    On Error Resume Next
    Set container = Computer(host)
    If Err.Number <> 0 Then
        Exists = "the accounts of " & host & " cannot be read: " & Fault()
        Exit Function
    End If
    Set found = container.GetObject(kind, name)
    Select Case Err.Number
        Case 0: Exists = "yes"
        Case &H800708AD, &H800708AC, &H80070560: Exists = "no"
        Case Else: Exists = Fault()
    End Select
End Function

' Whether the user is a member of the group: "yes", "no", or why it cannot be told.
Function Membership(host, group, account)
    Dim member
    On Error Resume Next
    member = Computer(host).GetObject("group", group).IsMember("WinNT://" & host & "/" & account)
    If Err.Number <> 0 Then
        Membership = Fault()
    ElseIf member Then
        Membership = "yes"
    Else
        Membership = "no"
    End If
End Function

' Repair and upgrade keep the names the installation was first made with: a name given on the
' command line then is ignored, and the log says so.
Sub SayIgnored()
    Dim given
    For Each given In Array(Array("KX_GIVEN_ACCOUNT", "SHOP_ACCOUNT"), Array("KX_GIVEN_GROUP", "SHOP_GROUP"), _
                            Array("KX_GIVEN_FOLDER", "INSTALLDIR"))
        If Session.Property(given(0)) <> "" And Session.Property(given(0)) <> Session.Property(given(1)) Then
            Say given(1) & "=" & Session.Property(given(0)) & " is ignored: this installation keeps " & _
                Session.Property(given(1)) & ", which it was first installed with. To use another, remove Kestrix " & _
                "Shop and install it again."
        End If
    Next
End Sub

' Immediate, on repair: the names and what was made stay as the installation remembers them; a
' name given on the command line is ignored (the Registry table holds the remembered ones).
Function Keep()
    SayIgnored
    Say "what this installation made stays as it was: " & Session.Property("KX_OLD_MADE")
    Keep = SUCCESS
End Function

' Immediate, on installation (an upgrade too): what will be made, and the checks that change
' nothing, before anything changes. "making" is what this installation makes (its rollback takes
' that back); "owned" is what the product then owns (its removal takes that back), an upgrade
' keeping what the earlier version made.
Function Decide()
    Dim numbers, site, port, candidate, tries, free, answer, host, account, group, folder, making, owned, old, password
    Dim action, minimum
    host = Session.Property("ComputerName")
    account = Session.Property("SHOP_ACCOUNT")
    group = Session.Property("SHOP_GROUP")
    folder = Session.Property("INSTALLDIR")
    old = Session.Property("KX_OLD_MADE")
    minimum = Session.Property("KESTRIX_MINIMUM")
    making = ""
    owned = ""

    ' Kestrix, of a version that has what this installation calls. The launch condition only
    ' tells that it is there: it would compare versions as text.
    answer = Older(Session.Property("KESTRIX_VERSION"), minimum)
    If answer <> "" Then
        Decide = Refuse("This installation needs Kestrix " & minimum & " or newer, and " & answer & _
                        ". Install Kestrix " & minimum & " or newer (Kestrix.msi, or Kestrix-x64.msi for a 64-bit installation) first, then run this installation again.")
        Exit Function
    End If
    On Error Resume Next
    Set numbers = Kestrix("getfreewebid")
    If Err.Number <> 0 Then
        Decide = Refuse("Kestrix cannot be used on this machine (" & Fault() & "). Install Kestrix.msi (Kestrix-x64.msi for a 64-bit installation) again, then run this installation again.")
        Exit Function
    End If
    On Error GoTo 0

    ' An upgrade keeps the names the earlier version was installed with.
    SayIgnored

    ' The site: the one an earlier version made and left (an upgrade), or a new one whose
    ' name no site has yet. Reading the web server's configuration takes an administrator.
    On Error Resume Next
    site = Kestrix("getwebid").getwebid(SITE_NAME)
    If Err.Number <> 0 Then
        Decide = Refuse("The web server's configuration cannot be read (getwebid: " & Fault() & "). Check that the web server and its IIS 6 metabase compatibility are installed and that you may read its configuration, then run the installation again.")
        Exit Function
    End If
    On Error GoTo 0
    Say "getwebid(" & SITE_NAME & ") answered " & site
    If MadeName(old, "site") <> "" And CStr(site) = MadeName(old, "site") Then
        port = Session.Property("KX_OLD_PORT")
        owned = WithMade(owned, "site", CStr(site))
        Say "the site " & site & " of the earlier installation is kept"
    ElseIf site <> 0 Then
        Decide = Refuse("A web site named " & SITE_NAME & " exists already (site " & site & "), and this installation did not make it. Rename or remove it, then run the installation again.")
        Exit Function
    Else
        answer = Session.Property("SHOP_PORT")
        If Not Digits(answer) Then
            Decide = Refuse("SHOP_PORT=" & answer & " is not a port number. Give a number from 1 to 65535, then run the installation again.")
            Exit Function
        End If
        port = CLng(answer)
        If port < 1 Or port > 65535 Then
            Decide = Refuse("SHOP_PORT=" & answer & " is not a port number. Give a number from 1 to 65535, then run the installation again.")
            Exit Function
        End If
        On Error Resume Next
        site = numbers.getfreewebid()
        If Err.Number <> 0 Then
            Decide = Refuse("No free web site number can be found (getfreewebid: " & Fault() & "). Check that the web server runs and that you may read its configuration, then run the installation again.")
            Exit Function
        End If
        On Error GoTo 0
        Say "getfreewebid() answered " & site
        making = WithMade(making, "site", CStr(site))
        ' The port asked for, or the next one that no site and no program uses.
        free = False
        For tries = 1 To 100
            ' 1: no site binds the port. A variable of its own: the member writes ":port:" into it.
            candidate = CStr(port)
            On Error Resume Next
            answer = Kestrix("checkportinuse").checkportinuse(candidate)
            If Err.Number <> 0 Then
                Decide = Refuse("Whether a web site uses the port " & port & " cannot be told (checkportinuse: " & Fault() & "). Check that the web server runs, then run the installation again.")
                Exit Function
            End If
            On Error GoTo 0
            Say "checkportinuse(" & port & ") answered " & answer
            If answer = 1 Then
                ' 1: nothing answers on the port. portscan needs the Winsock control, which exists
                ' for 32-bit processes alone and which a server may not license: where it cannot
                ' be had, checkportinuse's answer stands.
                On Error Resume Next
                answer = Kestrix("portscan").portscan("localhost", CStr(port))
                If Err.Number <> 0 Then
                    Say "portscan is not available here (" & Fault() & "); checkportinuse's answer stands"
                    answer = 1
                End If
                On Error GoTo 0
                Say "portscan(localhost, " & port & ") answered " & answer
                free = (answer = 1)
            End If
            If free Or port = 65535 Then Exit For
            port = port + 1
        Next
        If Not free Then
            Decide = Refuse("No free port was found from " & Session.Property("SHOP_PORT") & " to " & port & ". Set SHOP_PORT to a free port, then run the installation again.")
            Exit Function
        End If
    End If

    ' The account and its group: used when they exist, made when not; when the account database
    ' cannot tell, nothing is decided. What the earlier version made and is still there stays
    ' the product's.
    For Each action In Array(Array(account, "user", "account"), Array(group, "group", "group"))
        answer = Exists(host, action(0), action(1))
        If answer = "no" Then
            making = WithMade(making, action(2), action(0))
        ElseIf answer <> "yes" Then
            Decide = Refuse("Whether the " & action(2) & " " & action(0) & " exists cannot be told: " & answer & ". Run the installation as an administrator who may manage the accounts of " & host & ", then run it again.")
            Exit Function
        ElseIf MadeName(old, action(2)) = action(0) Then
            owned = WithMade(owned, action(2), action(0))
        End If
    Next
    If MadeName(making, "account") = "" And MadeName(making, "group") = "" Then
        answer = Membership(host, group, account)
        If answer = "no" Then
            making = WithMade(making, "member", group & "/" & account)
        ElseIf answer <> "yes" Then
            Decide = Refuse("Whether " & account & " is a member of " & group & " cannot be told: " & answer & ". Run the installation as an administrator who may manage the accounts of " & host & ", then run it again.")
            Exit Function
        ElseIf MadeName(old, "member") = group & "/" & account Then
            owned = WithMade(owned, "member", group & "/" & account)
        End If
    End If

    ' The content folder: made by this installation when it is not there yet. Only then are
    ' its rights this installation's to give.
    On Error Resume Next
    answer = CreateObject("Scripting.FileSystemObject").FolderExists(folder)
    If Err.Number <> 0 Then
        Decide = Refuse("Whether the folder " & folder & " exists cannot be told (" & Fault() & "). Check INSTALLDIR, then run the installation again.")
        Exit Function
    End If
    On Error GoTo 0
    If Not answer Then
        making = WithMade(making, "folder", folder)
    ElseIf MadeName(old, "folder") = folder Then
        owned = WithMade(owned, "folder", folder)
    End If
    ' (Split of "" gives one empty item under Wine, none on Windows.)
    For Each action In Unpack(making)
        If InStr(action, ":") > 0 Then owned = WithMade(owned, Left(action, InStr(action, ":") - 1), Mid(action, InStr(action, ":") + 1))
    Next
    If making = "" Then making = "nothing"
    If owned = "" Then owned = "nothing"
    Say "this installation makes: " & making & "; the product owns: " & owned

    ' The account's password, when this installation makes the account: a password policy
    ' (a domain member's, a newer server's) asks for at least 7 characters without the account's
    ' name, which a generated password nearly always has; one that lacks it is drawn again.
    password = Session.Property("SHOP_PASSWORD")
    If password = "" And MadeName(making, "account") <> "" Then
        On Error Resume Next
        For tries = 1 To 10
            password = Kestrix("generatepassword").generatepassword()
            If Err.Number <> 0 Then
                Decide = Refuse("No password can be generated for the account " & account & " (generatepassword: " & Fault() & "). Give one in SHOP_PASSWORD, then run the installation again.")
                Exit Function
            End If
            If Len(password) >= 8 And InStr(1, password, account, vbTextCompare) = 0 Then Exit For
        Next
        On Error GoTo 0
        Session.Property("SHOP_PASSWORD") = password
    End If

    If Session.Property("LDAP_HOST") <> "" Then
        On Error Resume Next
        answer = Kestrix("checkldapserver").checkldapserver(Session.Property("LDAP_HOST"), Session.Property("LDAP_PORT"), Session.Property("LDAP_USER"), Session.Property("LDAP_PASSWORD"))
        If Err.Number <> 0 Then answer = Fault()
        On Error GoTo 0
        Say "checkldapserver(" & Session.Property("LDAP_HOST") & ", " & Session.Property("LDAP_PORT") & ") answered " & answer
        If CStr(answer) <> "0" Then
            Decide = Refuse("The directory server " & Session.Property("LDAP_HOST") & ":" & Session.Property("LDAP_PORT") & " refused the logon of " & Session.Property("LDAP_USER") & " (checkldapserver answered " & answer & "). Check LDAP_HOST, LDAP_PORT, LDAP_USER and LDAP_PASSWORD, then run the installation again; nothing was changed.")
            Exit Function
        End If
    End If
    If Session.Property("DB_SERVER") <> "" Then
        On Error Resume Next
        answer = Kestrix("checksqllogon").checksqllogon(Session.Property("DB_SERVER"), Session.Property("DB_LOGIN"), Session.Property("DB_PASSWORD"), Session.Property("DB_NAME"))
        If Err.Number <> 0 Then answer = Fault()
        On Error GoTo 0
        Say "checksqllogon(" & Session.Property("DB_SERVER") & ", " & Session.Property("DB_LOGIN") & ", " & Session.Property("DB_NAME") & ") answered " & answer
        If CStr(answer) <> "0" Then
            Decide = Refuse("The database server " & Session.Property("DB_SERVER") & " refused the logon of " & Session.Property("DB_LOGIN") & " to " & Session.Property("DB_NAME") & " (checksqllogon answered " & answer & "). Check DB_SERVER, DB_LOGIN, DB_PASSWORD and DB_NAME, then run the installation again; nothing was changed.")
            Exit Function
        End If
    End If

    ' Remembered by the Registry table; handed to the deferred actions.
    Session.Property("KX_SITE") = CStr(site)
    Session.Property("KX_PORT") = CStr(port)
    Session.Property("KX_MADE") = owned
    For Each action In Array("KxUndoAccount", "KxUndoSite", "KxCreateSite", "KxUndoApplication", "KxCreateApplication")
        Session.Property(action) = Pack(Array(site, port, folder, host, account, group, making, ""))
    Next
    Session.Property("KxCreateAccount") = Pack(Array(site, port, folder, host, account, group, making, password))
    Decide = SUCCESS
End Function

' Makes the account in the order the provider documents: created, given its password, then
' saved, so that a password policy judges the password itself (createntuser saves the account
' before it sets the password, which a policy refuses whatever the password: its answer is then
' 4). "" when it is made, else what failed.
Function MakeAccount(host, name, password)
    Dim user
    On Error Resume Next
    Set user = Computer(host).Create("user", name)
    If Err.Number = 0 Then user.SetPassword password
    If Err.Number = 0 Then user.SetInfo
    If Err.Number = PASSWORD_REFUSED Then
        MakeAccount = "the password does not meet the password policy of " & host & ". Give SHOP_PASSWORD a password that does (on most servers: at least 7 characters, of three of the kinds upper case, lower case, digit and other, without the account's name), or name an existing account with SHOP_ACCOUNT"
        Exit Function
    End If
    If Err.Number = 0 Then user.Put "UserFlags", CLng(user.Get("UserFlags")) Or ACCOUNT_FLAGS
    If Err.Number = 0 Then user.SetInfo
    MakeAccount = ""
    If Err.Number <> 0 Then MakeAccount = Fault() & ". Check that you may manage the accounts of " & host
End Function

' Deferred: the account, when this installation makes it; then its group and its membership
' (createntuser finds the account and does the rest); then its rights on the content folder,
' where this installation made both.
Function CreateAccount()
    Dim d, answer
    d = ActionData()
    Quiet
    If MadeName(d(6), "account") <> "" Then
        answer = MakeAccount(d(3), d(4), d(7))
        If answer <> "" Then
            CreateAccount = Refuse("The account " & d(4) & " could not be made: " & answer & ". Then run the installation again.")
            Exit Function
        End If
        Say "the account " & d(4) & " was made"
    End If
    On Error Resume Next
    answer = Kestrix("createntuser").createntuser(d(3), d(4), d(7), d(5))
    If Err.Number <> 0 Then answer = Fault()
    On Error GoTo 0
    Say "createntuser(" & d(3) & ", " & d(4) & ", " & d(5) & ") answered " & answer
    If CStr(answer) <> "0" Then
        CreateAccount = Refuse("The account " & d(4) & " could not be put in the group " & d(5) & " (createntuser answered " & answer & "). Check that you may manage the accounts of " & d(3) & ", then run the installation again.")
        Exit Function
    End If
    If MadeName(d(6), "account") = "" Or MadeName(d(6), "folder") = "" Then
        Say "the rights on " & d(2) & " stay as they were: this installation did not make both the folder and the account " & d(4) & ". Give " & d(4) & " read rights on it yourself if it has none."
        CreateAccount = SUCCESS
        Exit Function
    End If
    On Error Resume Next
    answer = Kestrix("setdirectorypermission").setdirectorypermission(d(2), d(4), "RX", 0)
    If Err.Number <> 0 Then
        CreateAccount = Refuse("The rights of " & d(4) & " on " & d(2) & " could not be set (setdirectorypermission: " & Fault() & "). Check that the folder exists and that you may change its security, then run the installation again.")
        Exit Function
    End If
    On Error GoTo 0
    Say "setdirectorypermission(" & d(2) & ", " & d(4) & ", RX) answered " & answer
    CreateAccount = SUCCESS
End Function

' Takes back the account, the group and the membership that "made" names. Nothing stops it:
' what cannot be taken back is said in the log.
Sub TakeBackAccount(host, made)
    Dim name
    On Error Resume Next
    name = MadeName(made, "account")
    If name <> "" Then Say "deletentuser(" & host & ", " & name & ") answered " & Kestrix("deletentuser").deletentuser(host, name)
    If Err.Number <> 0 Then Say "the account " & name & " could not be taken back (" & Fault() & ")"
    name = MadeName(made, "group")
    If name <> "" Then Say "deletentgroup(" & host & ", " & name & ") answered " & Kestrix("deletentgroup").deletentgroup(host, name)
    If Err.Number <> 0 Then Say "the group " & name & " could not be taken back (" & Fault() & ")"
    name = MadeName(made, "member")
    If name <> "" Then
        Say "deletentuserfromgroup(" & host & ", " & Left(name, InStr(name, "/") - 1) & ", " & Mid(name, InStr(name, "/") + 1) & ") answered " & _
            Kestrix("deletentuserfromgroup").deletentuserfromgroup(host, Left(name, InStr(name, "/") - 1), Mid(name, InStr(name, "/") + 1))
    End If
    If Err.Number <> 0 Then Say "the membership " & name & " could not be taken back (" & Fault() & ")"
End Sub

' Rollback: what CreateAccount made, and nothing that was there before.
Function UndoAccount()
    Dim d
    d = ActionData()
    TakeBackAccount d(3), d(6)
    UndoAccount = SUCCESS
End Function

' Deferred: the site on the chosen port, with the installed folder as its content, started.
Function CreateSite()
    Dim d, answer
    d = ActionData()
    CreateSite = SUCCESS
    If MadeName(d(6), "site") = "" Then Exit Function
    On Error Resume Next
    answer = Kestrix("createwebroot").createwebroot(d(0), SITE_NAME, 1, ":" & d(1) & ":", "", d(2))
    If Err.Number <> 0 Then
        CreateSite = Refuse("The web site could not be created (createwebroot failed: " & Fault() & "). Check that the web server runs, then run the installation again.")
        Exit Function
    End If
    Say "createwebroot(" & d(0) & ", :" & d(1) & ":) answered " & answer
    answer = Kestrix("startwebsite").startwebsite(d(0))
    If Err.Number <> 0 Then answer = Fault()
    On Error GoTo 0
    Say "startwebsite(" & d(0) & ") answered " & answer
    If CStr(answer) <> "0" Then
        CreateSite = Refuse("The web site " & d(0) & " could not be started (startwebsite answered " & answer & "). Check the web server's log, then run the installation again.")
    End If
End Function

Function UndoSite()
    Dim d
    d = ActionData()
    On Error Resume Next
    If MadeName(d(6), "site") <> "" Then Say "deletewebroot(" & d(0) & ") answered " & Kestrix("deletewebroot").deletewebroot(d(0))
    If Err.Number <> 0 Then Say "the web site " & d(0) & " could not be taken back (" & Fault() & ")"
    UndoSite = SUCCESS
End Function

' Deferred: the application's virtual directory, read and no scripts (its content is static).
Function CreateApplication()
    Dim d, answer
    d = ActionData()
    CreateApplication = SUCCESS
    If MadeName(d(6), "site") = "" Then Exit Function
    On Error Resume Next
    answer = Kestrix("createwebsite").createwebsite(d(2), d(0), "shop", "Shop")
    If Err.Number <> 0 Then answer = Fault()
    Say "createwebsite(" & d(0) & ", shop) answered " & answer
    If CStr(answer) <> "0" Then
        CreateApplication = Refuse("The virtual directory shop could not be created (createwebsite answered " & answer & "). Check that the web server runs, then run the installation again.")
        Exit Function
    End If
    answer = Kestrix("setwebpermission").setwebpermission("localhost", d(0), "shop", "RS")
    If Err.Number <> 0 Then answer = Fault()
    Say "setwebpermission(" & d(0) & ", shop, RS) answered " & answer
    If CStr(answer) <> "0" Then
        CreateApplication = Refuse("The rights of the virtual directory shop could not be set (setwebpermission answered " & answer & "). Check that the web server runs, then run the installation again.")
    End If
End Function

Function UndoApplication()
    Dim d
    d = ActionData()
    On Error Resume Next
    If MadeName(d(6), "site") <> "" Then Say "deletevirtualdirectory(" & d(0) & ", shop) answered " & Kestrix("deletevirtualdirectory").deletevirtualdirectory(d(0), "shop")
    If Err.Number <> 0 Then Say "the virtual directory shop could not be taken back (" & Fault() & ")"
    UndoApplication = SUCCESS
End Function

' Whether a newer version is taking this one's place. RemoveExistingProducts of the newer version
' removes this one after installing itself; Windows then sets UPGRADINGPRODUCTCODE, and the
' removal's actions do not run. Where that property is not set (Wine's msiexec runs the old
' removal as a plain one), the newer version shows itself among the related products.
Function Upgrading()
    Dim product
    Upgrading = False
    On Error Resume Next
    For Each product In Session.Installer.RelatedProducts(Session.Property("UpgradeCode"))
        If product <> Session.Property("ProductCode") Then Upgrading = True
    Next
End Function

' Immediate, on removal: what the installation made, as it remembered it, for the deferred
' actions, which have the rights to check it and take it back.
Function Remember()
    Dim made, data
    made = Session.Property("KX_OLD_MADE")
    If Upgrading() Then
        Say "a newer version takes this one's place and keeps what it made"
        made = "nothing"
    End If
    data = Pack(Array(Session.Property("KX_OLD_SITE"), Session.Property("KX_OLD_PORT"), Session.Property("INSTALLDIR"), Session.Property("ComputerName"), Session.Property("KX_OLD_ACCOUNT"), Session.Property("KX_OLD_GROUP"), made, ""))
    Session.Property("KxUndoRemove") = data
    Session.Property("KxRemove") = data
    Session.Property("KxRemoveAccount") = data
    Session.Property("KxRemoveAccountNow") = data
    Remember = SUCCESS
End Function

' Whether the site the installation made is still there as it made it: its number still
' carries the installation's name. What cannot be reached is said in the log.
Function OurSite(d)
    Dim site
    OurSite = False
    If MadeName(d(6), "site") = "" Then Exit Function
    On Error Resume Next
    site = Kestrix("getwebid").getwebid(SITE_NAME)
    If Err.Number <> 0 Then
        Say "the web site " & MadeName(d(6), "site") & " cannot be reached (" & Fault() & ")"
        Exit Function
    End If
    On Error GoTo 0
    Say "getwebid(" & SITE_NAME & ") answered " & site
    OurSite = (CStr(site) = MadeName(d(6), "site"))
    If Not OurSite And site <> 0 Then Say "the site " & site & " named " & SITE_NAME & " is not the one this installation made; it stays"
End Function

' Deferred, on removal: the virtual directory and the site. Nothing stops the removal.
Function Remove()
    Dim d, site
    d = ActionData()
    Remove = SUCCESS
    If Not OurSite(d) Then Exit Function
    site = MadeName(d(6), "site")
    On Error Resume Next
    Say "deletevirtualdirectory(" & site & ", shop) answered " & Kestrix("deletevirtualdirectory").deletevirtualdirectory(site, "shop")
    If Err.Number <> 0 Then Say "the virtual directory shop of site " & site & " could not be taken back (" & Fault() & ")"
    Say "deletewebroot(" & site & ") answered " & Kestrix("deletewebroot").deletewebroot(site)
    If Err.Number <> 0 Then Say "the web site " & site & " could not be taken back (" & Fault() & ")"
End Function

' Rollback of the removal: the site and its virtual directory again, as they were made, where
' the removal took them.
Function UndoRemove()
    Dim d, site, found
    d = ActionData()
    UndoRemove = SUCCESS
    site = MadeName(d(6), "site")
    If site = "" Then Exit Function
    On Error Resume Next
    found = Kestrix("getwebid").getwebid(SITE_NAME)
    If Err.Number <> 0 Or CStr(found) = site Then Exit Function
    Say "createwebroot(" & site & ", :" & d(1) & ":) answered " & Kestrix("createwebroot").createwebroot(site, SITE_NAME, 1, ":" & d(1) & ":", "", d(2))
    Say "startwebsite(" & site & ") answered " & Kestrix("startwebsite").startwebsite(site)
    Say "createwebsite(" & site & ", shop) answered " & Kestrix("createwebsite").createwebsite(d(2), site, "shop", "Shop")
    Say "setwebpermission(" & site & ", shop, RS) answered " & Kestrix("setwebpermission").setwebpermission("localhost", site, "shop", "RS")
    If Err.Number <> 0 Then Say "the web site " & site & " could not be made again (" & Fault() & ")"
End Function

' Commit, on removal: the account, its group and the membership, where this installation
' made them, once the removal can no longer be rolled back; deferred where rollback is
' disabled, since commit actions then never run. The content folder is gone by then unless it
' holds files this installation did not put there: the log names it.
Function RemoveAccount()
    Dim d, folder
    d = ActionData()
    TakeBackAccount d(3), d(6)
    folder = MadeName(d(6), "folder")
    On Error Resume Next
    If folder <> "" Then
        If CreateObject("Scripting.FileSystemObject").FolderExists(folder) Then Say "the folder " & folder & " stays: it holds files this installation did not put there. Remove it yourself once they are not needed."
    End If
    RemoveAccount = SUCCESS
End Function
