' Every class of the catalogue, created and called from a script the way a setup program does.
' Argument: the catalogue file. Prints one line per failed check and a closing verdict.
Option Explicit

Dim passed, failed
passed = 0
failed = 0

Sub Check(ok, what)
    If ok Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL: " & what
    End If
End Sub

Function ClassNames(catalogue)
    Dim fso, stream, line, words, names
    Set fso = CreateObject("Scripting.FileSystemObject")
    Set stream = fso.OpenTextFile(catalogue, 1)
    names = ""
    Do Until stream.AtEndOfStream
        line = stream.ReadLine
        If Left(line, 6) = "class " Then
            words = Split(line, " ")
            names = names & words(1) & " "
        End If
    Loop
    stream.Close
    ClassNames = Split(Trim(names), " ")
End Function

Dim names, name, created, o
names = ClassNames(WScript.Arguments(0))
Check UBound(names) = 50, "the catalogue names 51 classes"

On Error Resume Next
created = 0
For Each name In names
    Err.Clear
    Set o = CreateObject("Kestrix." & name)
    If Err.Number = 0 And IsObject(o) Then created = created + 1 Else WScript.Echo "FAIL: Kestrix." & name & " " & Err.Description
    Set o = Nothing
Next
Check created = 51, "all 51 classes created (" & created & ")"

Err.Clear
Set o = CreateObject("Kestrix.nosuchclass")
Check Err.Number = 429, "a class outside the catalogue cannot be created (" & Err.Number & ")"

' generatepassword, called with and without parentheses.
Err.Clear
Dim password, again
Set o = CreateObject("Kestrix.generatepassword")
password = o.generatepassword()
again = o.generatepassword
Check Err.Number = 0, "generatepassword raised " & Err.Description
Check Len(password) >= 3 And Len(password) <= 20, "password length " & Len(password)
Check password <> again, "two passwords differ"

' A script variable passed by reference is accepted, and a literal too.
Dim site, number
site = "Default Web Site"
Set o = CreateObject("Kestrix.getwebid")
Err.Clear
number = o.getwebid(site)
Check Err.Number = 0, "a variable passed by reference is accepted (" & Err.Number & " " & Err.Description & ")"
Check number = 1, "getwebid finds the default web site (" & number & ")"
Check o.getwebid("Default Web Site") = 1, "a literal is accepted where a reference is declared"
Check site = "Default Web Site", "a read-only argument is left as it was"

' A raised failure reaches Err with its number, description and source: site 1 exists.
Set o = CreateObject("Kestrix.createwebroot")
Err.Clear
Call o.createwebroot("1", "Twin", 1, ":80:", "", "c:\twin")
Check Err.Number = &H800700B7, "the store's status passes through (" & Hex(Err.Number) & ")"
Check Len(Err.Description) > 0, "a raised failure carries a description"
Check Err.Source = "Kestrix.createwebroot", "a raised failure names its source (" & Err.Source & ")"

' Arguments of the wrong count or type are refused as a script expects.
Set o = CreateObject("Kestrix.setdirectorypermission")
Err.Clear
Call o.setdirectorypermission("c:\x", "user", "R", "many")
Check Err.Number = 13, "a text for a number is a type mismatch (" & Err.Number & ")"
Err.Clear
Call o.SetDirAcces("c:\x")
Check Err.Number = 450, "a wrong argument count is refused (" & Err.Number & ")"

On Error GoTo 0
WScript.Echo "verdict: " & passed & " checks passed, " & failed & " failed"
