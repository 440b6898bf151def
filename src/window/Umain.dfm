object Form1: TForm1
  Left = 229
  Top = 173
  Width = 925
  Height = 425
  Caption = 'Form1'
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  OldCreateOrder = False
  OnCreate = FormCreate
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 13
  object Image1: TImage
    Left = 16
    Top = 8
    Width = 889
    Height = 273
  end
  object lblSlope: TLabel
    Left = 296
    Top = 344
    Width = 37
    Height = 13
    Caption = 'lblSlope'
  end
  object lblFr: TLabel
    Left = 296
    Top = 296
    Width = 19
    Height = 13
    Caption = 'lblFr'
  end
  object lblRe: TLabel
    Left = 296
    Top = 320
    Width = 24
    Height = 13
    Caption = 'lblRe'
  end
  object Button1: TButton
    Left = 104
    Top = 288
    Width = 75
    Height = 25
    Caption = 'Thread'
    TabOrder = 0
    OnClick = Button1Click
  end
  object Button2: TButton
    Left = 16
    Top = 288
    Width = 75
    Height = 25
    Caption = 'Form'
    TabOrder = 1
    OnClick = Button2Click
  end
end
