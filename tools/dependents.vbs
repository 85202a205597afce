' Kestrix's removal: the products that registered as depending on this package, each a subkey
' of the provider key's Dependents as WiX's dependency extension writes them, go into the
' property KxDependents by name, unless IGNOREDEPENDENCIES is ALL or names them (keys separated
' by ";"), or a newer version of this package has replaced it (a major upgrade, which Windows
' also tells by UPGRADINGPRODUCTCODE). An error action then ends the removal while KxDependents
' holds a name. This action runs at once, before anything changes, and only reads.
Const HKEY_LOCAL_MACHINE = 2
Const MESSAGE_INFO = &H04000000
Const SUBSCRIPT_OUT_OF_RANGE = 9

Function FindDependents()
    Dim installer, key, ignored, found, index, dependent, failure
    FindDependents = 1
    ignored = ";" & UCase(Session.Property("IGNOREDEPENDENCIES")) & ";"
    If ignored = ";ALL;" Then
        Say "IGNOREDEPENDENCIES=ALL: dependents are not looked for"
        Exit Function
    End If
    Set installer = Session.Installer
    If Replaced(installer) Then
        Say "a newer version of this package replaces this one: it keeps the dependents"
        Exit Function
    End If
    key = "Software\Classes\Installer\Dependencies\" & Session.Property("KxProviderKey") & "\Dependents"
    found = ""
    index = 1
    Do
        ' A negative index enumerates the key's subkeys, from 1; past the last one it answers "".
        ' A key that does not exist answers error 9: nothing depends on this package.
        On Error Resume Next
        dependent = installer.RegistryValue(HKEY_LOCAL_MACHINE, key, -index)
        failure = Err.Number
        On Error GoTo 0
        If failure = SUBSCRIPT_OUT_OF_RANGE And index = 1 Then Exit Do
        If failure <> 0 Then
            found = Joined(found, "the products registered under HKLM\" & key & " (which could not be read: error " & _
                           failure & ")")
            Exit Do
        End If
        If dependent = "" Then Exit Do
        If InStr(ignored, ";" & UCase(dependent) & ";") = 0 Then
            found = Joined(found, NameOf(installer, dependent))
        Else
            Say "IGNOREDEPENDENCIES names the dependent " & dependent
        End If
        index = index + 1
    Loop
    Session.Property("KxDependents") = found
    If found <> "" Then Say "registered dependents: " & found
End Function

' Whether a newer version of this package has taken the provider key over: its default value
' names the product that wrote it last. Kestrix's packages remove the old version after they
' have written their registry values, so the old version's removal finds the newer product's
' code there. Wine's msiexec runs that removal as a plain one, without UPGRADINGPRODUCTCODE.
Function Replaced(installer)
    Dim owner
    owner = ""
    On Error Resume Next
    owner = installer.RegistryValue(HKEY_LOCAL_MACHINE, "Software\Classes\Installer\Dependencies\" & _
                                    Session.Property("KxProviderKey"), "")
    On Error GoTo 0
    Replaced = owner <> "" And UCase(owner) <> UCase(Session.Property("ProductCode"))
End Function

' A dependent by its product's name where it is an installed product's code, else by its key.
Function NameOf(installer, dependent)
    Dim name
    name = ""
    On Error Resume Next
    name = installer.ProductInfo(dependent, "ProductName")
    On Error GoTo 0
    If name = "" Then
        NameOf = dependent
    Else
        NameOf = name & " (" & dependent & ")"
    End If
End Function

Function Joined(list, item)
    If list = "" Then
        Joined = item
    Else
        Joined = list & ", " & item
    End If
End Function

Sub Say(text)
    Dim record
    Set record = Session.Installer.CreateRecord(0)
    record.StringData(0) = "Kestrix: " & text
    Session.Message MESSAGE_INFO, record
End Sub
